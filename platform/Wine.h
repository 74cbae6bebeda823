#pragma once
// Running a Windows program (the game's own archive.exe) through Wine, and naming files the way
// such a program sees them: a drive of the Wine prefix, backslashes, and Wine's ANSI code page
// for text it reads as 8-bit.
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The program that starts Windows executables: VAREVUDOV_WINE when set (a path, or a name looked
// up on PATH), else "wine" on PATH. Empty when there is none that can be run.
std::string FindWineLauncher();

// The Wine prefix in use: WINEPREFIX, else ~/.wine. Read only; never created.
std::string WinePrefix();

// Wine's ANSI code page as Wine derives it from the locale environment: the language and
// country of LC_CTYPE (after LC_ALL, LC_CTYPE and LANG, as setlocale takes them; a locale that
// is not installed counts as C, for which Wine looks at LC_ALL alone), the Windows locale's
// default ANSI code page, 1252 when nothing matches, 65001 (UTF-8) for Unicode-only locales.
unsigned WineAnsiCodePage();
// The same decision for a locale name such as "ru_RU.UTF-8" or "sr_RS@latin"; empty or "C"
// means no locale.
unsigned AnsiCodePageForLocale(const std::string& unixLocale);

// The character set in which Wine reads Unix file names and arguments (the codeset of the
// environment's locale; "ANSI_X3.4-1968" under C).
std::string WineUnixCharset();

// How names look to a Windows program under one Wine prefix.
class WindowsNames {
 public:
  // drives: letter (lower case) and the folder it maps to, absolute, without trailing '/'
  // except for the root. unixCharset: what our file names are in; codePage: Wine's ANSI one.
  WindowsNames(std::vector<std::pair<char, std::string>> drives, unsigned codePage,
               std::string unixCharset);
  // The prefix's drive mapping read from its dosdevices folder, the code page and charset of
  // the environment.
  static WindowsNames ForEnvironment();

  // An absolute path in Windows form: the drive whose folder holds it most closely (Z: for the
  // root when the prefix has no mapping), then the rest with backslashes. The bytes of the names
  // stay as they are. False when a component cannot be a Windows name (one of <>:"|?*\, a
  // control character, a trailing blank or dot, a device name such as "com1.vka") or does not
  // map to the ANSI code page exactly: an ANSI program reads its arguments through a best-fit
  // mapping that turns look-alikes (fullwidth quote, backslash, colon) into the real ones. why,
  // when given, then names the component and what is wrong with it.
  bool Path(const std::string& path, std::string& out, std::string* why = nullptr) const;
  // Text in Wine's ANSI code page; false when a character has no place there.
  bool Ansi(const std::string& text, std::string& out) const;

  unsigned CodePage() const { return codePage_; }

 private:
  bool ExactlyAnsi(const std::string& text) const;

  std::vector<std::pair<char, std::string>> drives_;
  unsigned codePage_;
  std::string unixCharset_;
};

// The drive mapping of a prefix's dosdevices folder: each "x:" link with the folder it reaches
// (links relative to the dosdevices folder made absolute). Missing folder: none.
std::vector<std::pair<char, std::string>> ReadDosDevices(const std::string& prefix);

}  // namespace platform
