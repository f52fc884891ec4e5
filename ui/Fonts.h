#pragma once

// The window layouts name the Japanese families "ＭＳ Ｐゴシック", "ＭＳ 明朝" and "ＭＳ Ｐ明朝".
// Where they are not installed, their nearest free equivalents (the IPA fonts) stand in.

namespace doplet {

void InstallFontSubstitutions();

} // namespace doplet
