// varevudov-cli [--target FOLDER] PATH...
// Converts each PATH (a .zip, .rar or .vka package, or a folder of packages) with the same chain
// as the main window's Convert button. The program folder (beside this executable, or the
// user's own folder when that is read-only or the program is installed) holds the work area,
// archive.exe and the settings file; --target defaults to the settings file's folder and is
// stored there when given. Exit code: 0 when everything converted, 1 when some package or map
// failed, 2 on bad usage, a missing archive.exe, a Windows archive.exe with no Wine to run it or
// a program folder that others may change.
// SIGINT, SIGTERM or SIGHUP stops the run after the current map, as the window's stop question
// says (a running archive.exe finishes its map first, so no VKA file is left half written),
// empties the work area and exits with 130, 143 or 129. A killed front end takes its archive.exe
// with it.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "ConsoleView.h"
#include "app/workflow/Workflow.h"
#include "platform/Console.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

constexpr int kUsageError = 2;

// The usage text: on standard output when asked for, on standard error after a mistake.
int Usage(const char* problem) {
  std::FILE* out = problem ? stderr : stdout;
  if (problem) std::fprintf(stderr, "varevudov-cli: %s\n", problem);
  std::fprintf(out,
               "usage: varevudov-cli [--target FOLDER] PATH...\n"
               "       varevudov-cli --version\n"
               "  PATH     a .zip, .rar or .vka package, or a folder of packages\n"
               "  --target folder for the VKA files (stored in the settings file);\n"
               "           without it the folder stored there is used\n");
  return kUsageError;
}

// The workflow makes the program folder current, so relative paths are fixed first.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path.front() == platform::kPathDelim) return path;
  return platform::JoinPath(platform::CurrentFolder(), path);
}

bool IsPackage(const std::string& path) {
  const std::string ext = platform::LowerCase(platform::ExtractFileExt(path));
  return ext == ".zip" || ext == ".rar" || ext == ".vka";
}

volatile std::sig_atomic_t g_signal = 0;
workflow::ConvertWorkflow* g_converter = nullptr;

void OnStopSignal(int signal) {
  g_signal = signal;
  if (g_converter) g_converter->RequestStop();
}

}  // namespace

int main(int argc, char** argv) {
  platform::UseUtf8Locale();
  std::string target;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--target") {
      if (i + 1 >= argc) return Usage("--target needs a folder");
      target = Absolute(argv[++i]);
    } else if (arg == "--version") {
      std::printf("varevudov-cli %s\n", VAREVUDOV_VERSION);
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      Usage(nullptr);
      return 0;
    } else if (arg.size() > 1 && arg.front() == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else {
      paths.push_back(Absolute(arg));
    }
  }
  if (paths.empty()) return Usage("no package or folder given");
  // Nothing of a folder another user may change is run or loaded.
  if (const std::string problem = platform::ProgramFolderProblem(); !problem.empty()) {
    std::fprintf(stderr, "varevudov-cli: %s; nothing converted\n", problem.c_str());
    return kUsageError;
  }

  ConsoleView view;
  ConsolePrompter prompter;
  platform::ScopedPrompter usePrompter(prompter);
  workflow::ConvertWorkflow converter(view);
  g_converter = &converter;
  // A stop signal asks the workflow to stop instead of killing the program in the middle of a
  // package. archive.exe runs in a process group of its own, so a terminal's Ctrl+C does not
  // reach it: the map it is packing is finished, then the run ends.
  platform::CatchStopSignals(OnStopSignal);
  workflow::ConvertState& state = converter.State();
  try {
    if (!converter.FormActivate()) return kUsageError;
    if (!target.empty()) {
      if (!platform::DirectoryExists(target)) return Usage(("no folder " + target).c_str());
      // Refused before it is stored: a stored one would refuse every later run.
      if (workflow::LiesInWorkArea(target)) {
        converter.mm("error - " + target +
                     " lies in the work area of the program folder, nothing converted !");
        return kUsageError;
      }
      converter.SelectTargetFolder(target);
    } else {
      const std::string ini =
          platform::JoinPath(workflow::ProgramFolder(), workflow::kSettingsFileName);
      if (platform::FileExists(ini)) converter.ReadIni();
      if (state.VKAFolder.empty()) return Usage("no target folder stored yet: use --target");
      view.SetTargetCaption(state.VKAFolder);
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "varevudov-cli: %s\n", e.what());
    return kUsageError;
  }
  // The cleanup would delete what lies in the work area: refused before anything runs.
  std::vector<std::string> chosen = paths;
  chosen.push_back(state.VKAFolder);
  for (const std::string& path : chosen) {
    if (workflow::LiesInWorkArea(path)) {
      converter.mm("error - " + path +
                   " lies in the work area of the program folder, nothing converted !");
      return kUsageError;
    }
  }

  int failures = 0;
  for (const std::string& path : paths) {
    if (g_signal) break;
    if (platform::DirectoryExists(path)) {
      converter.SelectSourceFolder(path);
    } else if (platform::FileExists(path) && IsPackage(path)) {
      converter.SelectPackageFile(path);
    } else {
      converter.mm(workflow::NoPackageLine(path));
      ++failures;
      continue;
    }
    converter.RunConversion();
  }
  for (const std::string& line : view.Created()) std::printf("%s\n", line.c_str());
  g_converter = nullptr;
  if (g_signal) return 128 + g_signal;
  return failures + converter.Failures() > 0 ? 1 : 0;
}
