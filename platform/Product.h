// The program's name, its maker's texts and its version: what the window,
// the structure export, the reports and the command line show about the
// program itself, written once.
#pragma once

namespace riffo {

inline constexpr char16_t PROGRAM_NAME[] = u"Riffoscope";

inline constexpr char16_t MAKER_NAME[] = u"Brindlecorp Ltd.";
inline constexpr char16_t MAKER_WEB[] = u"www.brindlecorp.example";
inline constexpr char16_t MAKER_WEB_URL[] = u"https://www.brindlecorp.example/";
inline constexpr char16_t MAKER_MAIL[] = u"support@brindlecorp.example";
inline constexpr char16_t MAKER_PHONE[] = u"+1 555 0100";
inline constexpr char16_t MAKER_YEAR[] = u"2017";

// The version the project's CMake declaration gives, "major.minor.patch".
const char* ProgramVersion();
// "major.minor", as the structure export's header shows it.
const char16_t* ProgramRelease();

}  // namespace riffo
