// Pieces shared by the two ways of converting through LibreOffice (one process per conversion in
// office_conversion.cpp, long-lived processes in office_converter.cpp): program lookup, private
// folders and profiles, starting a process in a group of its own, placing results.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/office_conversion.h"

namespace tabrix::xlsx {

// The resolved program named by `program` (a path, or a name on the PATH); empty when none.
std::string ResolveProgram(const std::string& program);
// The LibreOffice program of `settings`; raises the engine's error naming what is missing.
std::string RequireOfficeProgram(const OfficeConverterSettings& settings);
// The settings' timeout, else TABRIX_OFFICE_TIMEOUT, else kDefaultOfficeTimeout.
std::chrono::milliseconds EffectiveTimeout(const OfficeConverterSettings& settings);
// "1.5" for 1500 ms.
std::string SecondsText(std::chrono::milliseconds duration);

// A folder of its own under the system's temporary folder, removed with its contents.
class PrivateFolder {
 public:
  explicit PrivateFolder(const char* tag);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// file:// URL of an absolute path, reserved characters percent-encoded.
std::string FileUrl(const std::filesystem::path& path);

// Writes a throwaway LibreOffice profile that recalculates formulas when a file is loaded.
void PrepareProfile(const std::filesystem::path& profile);

// A private folder for one conversion: `input` linked (or copied) into in/ as "source.<ext>" so
// that nothing, LibreOffice's lock file included, is written beside the original; the converted
// file is expected in out/.
struct ConversionFolder {
  explicit ConversionFolder(const std::string& input);
  PrivateFolder work{"tabrix-office"};
  std::filesystem::path source, outFolder;
  std::filesystem::path Produced(const std::string& extension) const { return outFolder / ("source." + extension); }
};

// LibreOffice's output as one line: noise about the Java runtime dropped, blanks folded, cut
// to a length fit for a message.
std::string OutputSummary(const std::filesystem::path& file);

// Places `produced` at `output` in one rename (through a copy beside `output` across file
// systems).
void PlaceResult(const std::filesystem::path& produced, const std::filesystem::path& output);

// Starts `arguments` as the leader of a new process group with default signal handling. With
// `ioFd` >= 0 the process reads and writes that descriptor and its stderr goes to `outputFile`;
// otherwise it reads /dev/null and stdout and stderr go to `outputFile`. Raises when it cannot
// start.
pid_t SpawnGroupLeader(const std::vector<std::string>& arguments, int ioFd, const std::string& outputFile);

// Kills the process group led by `pid` (not reaped yet) and reaps the leader; its wait status.
int KillGroupAndReap(pid_t pid);

}  // namespace tabrix::xlsx
