#pragma once

// The program's version, the project's VERSION in CMake: written into the VCF header and the
// manual page, so that result files change with the version only.
inline constexpr const char* program_version = TARVIX_VERSION;

// The commit the program was built from (`git describe`, "-dirty" for a changed tree; "unknown"
// without git history): shown by --version only. Defined in a file written at build time.
extern const char* const build_commit;
