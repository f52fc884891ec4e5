#pragma once

// Failure lines carry the codes the Windows file copy reports for the same situation, so the
// window's help text ("Error 5" for a write-protected file) holds on every platform.

namespace doplet {

inline constexpr int kErrorFileNotFound = 2;      // the source is gone
inline constexpr int kErrorPathNotFound = 3;      // a folder of the path is missing or is a file
inline constexpr int kErrorAccessDenied = 5;      // no permission, read-only target, folder, link
inline constexpr int kErrorSharingViolation = 32; // a file changed while it was being copied
inline constexpr int kErrorFileExists = 80;       // two names the target takes for one file
inline constexpr int kErrorDiskFull = 112;        // no space left on the target's device
inline constexpr int kErrorNameTooLong = 206;     // a name or path the platform cannot take
inline constexpr int kErrorGeneral = 31;          // anything else

// Maps an errno value to the code of a failure line.
int ErrorCodeFromErrno(int err);

} // namespace doplet
