#pragma once

// Names are UTF-8 bytes throughout the engine. Where a platform wants UTF-16 (Windows) they are
// converted here, strictly: bytes that are not UTF-8 are refused, never guessed at.

#include <cstddef>
#include <string>
#include <string_view>

namespace doplet {

// Decodes the sequence that starts at text[*at] and moves *at past it. False, with *at left
// alone, for bytes that are not strict UTF-8: a stray or missing continuation byte, an overlong
// form, an encoded surrogate, a value above U+10FFFF.
bool DecodeUtf8(std::string_view text, std::size_t* at, char32_t* code);

// Appends `code` (at most U+10FFFF) in UTF-8.
void AppendUtf8(char32_t code, std::string* out);

// UTF-8 to UTF-16. False for bytes that are not strict UTF-8.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);

// Appends UTF-16 text as UTF-8. A lone surrogate, which Windows allows in names, is kept in its
// three-byte form: the name can be listed, and Utf8ToUtf16 refuses it, so its copy fails with a
// failure line.
void AppendUtf16AsUtf8(std::u16string_view text, std::string* out);

} // namespace doplet
