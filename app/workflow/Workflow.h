#pragma once
// The conversion chain without a window: a package (ZIP or RAR) in, VKA archives out in the
// target folder, every step logged through the view. The main window, the command-line front
// end and the tests drive the same object.
//
// Exceptions: a package's own failure (a broken archive, an unreadable file, a TGA that does
// not load, ...) is caught per package, logged as a line ending in " !" and the run goes on.
// ReadIni / WriteIni raise EInOutError to their caller (the window's generic error report).
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/workflow/ConvertState.h"
#include "app/workflow/View.h"
#include "archives/ExtractReport.h"
#include "platform/Wine.h"

namespace workflow {

inline constexpr char kNothingSelected[] = "< Nothing selected >";
inline constexpr char kSettingsFileName[] = "rararudazudada.ini";
inline constexpr char kArchiverName[] = "archive.exe";
inline constexpr char kWorkFolder[] = "$$$";
inline constexpr char kStagingFolder[] = "$map$";
inline constexpr char kTocFile[] = "$tmp$.txt";
inline constexpr char kPackBatchFile[] = "$$$.bat";
inline constexpr char kUnpackBatchFile[] = "$$$1.bat";
inline constexpr char kScenariosFolder[] = "Scenarios";

// The program file's folder without a trailing separator.
std::string ProgramFolder();
// Removes a folder tree (links are removed, never followed); true when nothing is left of it.
// Paths of any length are accepted.
bool DeleteFolderTree(const std::string& path);
// Whether path is, or lies inside, one of the program folder's work-area names ("$$$",
// "$map$", the TOC script, the batch files). Such a path is never taken as a package, a source
// or a target folder: the cleanup would delete it.
bool LiesInWorkArea(const std::string& path);
// The line for a path given to convert (dropped, named on a command line) that is neither a
// package nor a folder.
inline std::string NoPackageLine(const std::string& path) {
  return "error - " + path + " : no zip, rar or vka package and no folder !";
}

// The archive.exe in the program folder: a program of this system, or a Windows program (the
// game's own tool) that runs through Wine and reads Windows paths in Wine's ANSI code page.
enum class ArchiverKind { Native, Windows };

// What one Convert run did, for its closing summary line.
struct RunOutcome {
  int mapsPacked = 0;    // VKA files made from the maps of packages
  int vkasPlaced = 0;    // finished VKA files that packages carried, moved to the target
  int vkasUnpacked = 0;  // VKA files unpacked into the program folder
  std::vector<std::string> failedPackages;  // file names, in run order
  std::string refused;                      // why the run as a whole did nothing, if it did not
};

// "N maps converted, M packages failed: a.zip, b.rar", the list cut short with "and K more"
// where the line would grow past the width of the progress log.
std::string SummaryLine(const RunOutcome& outcome);

class ConvertWorkflow {
 public:
  explicit ConvertWorkflow(View& view);
  ~ConvertWorkflow();
  ConvertWorkflow(const ConvertWorkflow&) = delete;
  ConvertWorkflow& operator=(const ConvertWorkflow&) = delete;

  ConvertState& State() { return state_; }
  const ConvertState& State() const { return state_; }

  // --- main window life cycle ---
  // Each showing: help text into the progress log, settings file, target label (which keeps the
  // sentinel text when no target folder is known), focus on BrowseMapFile.
  void FormShow();
  // Each activation: resets the conversion state (not while a run is going on) and checks for
  // archive.exe. False when it is missing: the message box has been shown and the caller closes
  // the main window.
  bool FormActivate();
  static const std::vector<std::string>& HelpText();  // the 26 lines
  bool ArchiveExeFound();
  void ShowArchiveExeMissing();  // the "Archive.exe - File not found error!" box
  void ShowWineMissing();        // a Windows archive.exe and no Wine to run it
  // Decided by the start-up check from the file's header and kept for the run.
  ArchiverKind Archiver() const { return archiver_; }
  // A path as archive.exe reads it: unchanged for a native archiver, in Windows form for a
  // Windows one (empty when it has none; why then names the part and what is wrong with it).
  std::string ArchiverPath(const std::string& path, std::string* why = nullptr) const;
  void ResetState();  // the activation reset

  // --- selections: the click handlers call these after their dialogs ---
  // A file dialog answered OK with fileName (BrowseMapFileClick steps 3 to 5).
  void SelectPackageFile(const std::string& fileName);
  // A folder picker answered OK with folder (BrowseFolderToProcessClick steps 2 to 4).
  void SelectSourceFolder(const std::string& folder);
  // The target folder picker answered OK with folder: stored and written to the settings file
  // when it exists; with a package or folder chosen already, Convert is enabled and focused.
  // Otherwise the focus goes to BrowseMapFile (also call it after a cancel).
  void SelectTargetFolder(const std::string& folder);
  // A cancelled file or folder dialog: the selection label shows the sentinel text again.
  void SelectionCancelled();
  // Enables Convert when a target folder is known, else disables it; moves the focus.
  void TargetCheck();
  bool IsRunning() const { return running_; }

  // --- the Convert button ---
  void RunConversion();
  // Asks the running conversion to stop before its next package or map; the run then ends with
  // its usual closing lines and an empty work area. Async-signal-safe (one lock-free store), so a
  // signal handler may call it. The request lasts until the end of the current run.
  void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  bool StopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
  // Counts since construction: maps (and carried VKA files) placed in the target folder, and
  // packages or maps that failed. The command-line front end turns them into its exit code.
  int Converted() const { return packed_ + placed_ + unpacked_; }
  int Failures() const { return failures_; }

  // --- panes ---
  void mm(const std::string& line);  // progress log
  void rr(const std::string& line);  // created-files list

  // --- settings file beside the program ---
  bool ReadIni();
  bool WriteIni();

  // --- the steps ---
  void ProcessSingleFile();
  void ProcessZipRarFile();
  void ProcessVKAfile();
  bool ExtractFile();
  void ShowMapImageWindow();
  void GetVKBfilename();
  void setHasfiles();
  uint8_t ReadInfofile();
  void Cleanup();
  void CleanupAll();
  bool CreateMapFolderStructure();
  bool MoveFilesToMapFolder();
  bool CreateTxtFile();
  void VerifyProcessVKBfile();
  bool CreateVKB2VKABatFile();
  bool CreateVKA2VKBBatFile();
  // The exit code of what ran (platform::kNotStarted when it could not be started). The end of
  // what it wrote to its standard error is kept for the failure line.
  int RunCommand(const std::string& commandLine, bool wait);
  void MoveVKAfile();

 private:
  struct Components;  // the archive readers and the file search

  void AppendToPane(Pane pane, const std::string& line, Tone tone);
  // Makes room in a full pane by its oldest lines, keeping the failures of the latest run.
  void TrimPane(Pane pane);
  // The closing summary of the run that is ending.
  void LogSummary(const RunOutcome& before);
  RunOutcome Counts() const;
  // Refuses the run, with one line, when the target folder cannot take what it would make.
  bool TargetUsable();
  std::string WorkFolderPath() const;
  std::string TargetFolder() const;
  bool TargetKnown() const;
  // Logs the package's failure line; counts is false for a file that is no package of its own.
  void FailPackage(const std::string& reason, bool counts = true);
  // A component's message as one line of the log.
  std::string ReasonLine(const std::string& reason) const;
  // The run as a whole is refused, before any package: one line says why.
  void Refuse(const std::string& line);
  // Checks the package's listed files against the work folder and logs one line for each that
  // did not land, with the extractor's reason. Answers the package's refusal when none landed.
  std::string AccountForEntries(const std::vector<TPackageEntry>& listed,
                                const std::vector<TSkippedEntry>& skipped);
  // False, with the line that says why, when a file the current map needs did not land.
  bool MapFilesComplete();
  // The chosen package, source folder or target folder when one lies in the work area.
  std::string OwnedSelection() const;
  // The VKA road's second half: the unpacked Scenarios tree joins the program folder's.
  void TakeUnpackedMaps(int exitCode);
  // " (archive.exe exit code N: its last message)" for a failure line; empty when the archiver
  // ended well and said nothing.
  std::string ArchiverFailure(int exitCode) const;
  // Whether a file of that name can be made in the target folder; one line says why not.
  bool NameFitsTarget(const std::string& fileName);
  // Whether a found ".info" or ".scar" name may go into the map; one line says why not.
  bool TakeCompanion(const std::string& name);
  std::string FindFirstEntry(const std::string& mask);
  bool MapNameAllowed() const;
  // True when a stop was asked for; logs the stop once per run.
  bool Stopping();
  void DecideArchiverKind();
  // Whether the Windows archiver can be given every name and path of the current map; why
  // names the first one it can not.
  bool MapReadableByArchiver(std::string& why) const;
  // Text of the TOC script in the archiver's code page; false when it has no place there.
  bool ArchiverText(const std::string& text, std::string& out) const;

  View& view_;
  ConvertState state_;
  std::unique_ptr<Components> parts_;
  bool running_ = false;
  std::atomic<bool> stopRequested_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
  bool stopLogged_ = false;
  ArchiverKind archiver_ = ArchiverKind::Native;
  bool wineFound_ = false;
  std::unique_ptr<platform::WindowsNames> windowsNames_;
  int packed_ = 0;
  int placed_ = 0;
  int unpacked_ = 0;
  std::vector<TSkippedEntry> missing_;  // the package's listed files that did not land
  int failures_ = 0;
  RunOutcome run_;
  std::string archiverErrors_;  // the end of the last archiver run's standard error
  int runFirstLine_ = 0;        // the latest run's first line in the progress log
};

}  // namespace workflow
