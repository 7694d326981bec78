// `nimbex build`: turns LAS or delimited text files into a stream.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/Commands.h"
#include "cli/PhaseProgress.h"
#include "nimbex/creation/GlobalBounds.h"
#include "nimbex/creation/LasReader.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/creation/TextReader.h"
#include "nimbex/format/StrmFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string FormatFromExtension(const std::string& path) {
  const std::string extension = Lower(fs::path(path).extension().string());
  if (extension == ".las" || extension == ".laz") return "las";
  if (extension == ".txt" || extension == ".xyz" || extension == ".csv" || extension == ".asc")
    return "text";
  if (extension == ".vtp") return "vtp";
  if (extension == ".ptx") return "ptx";
  if (extension == ".pts") return "ascii";
  return "";
}

bool IsPointFileFormat(const std::string& format) {
  return format == "las" || format == "text";
}

// Models and scans are gridded from a list file and need their box first: the bounds pass
// reads them once. `unreadable` names the files it could not read, or not to their end.
int FindListBounds(const std::string& format, const std::vector<std::string>& inputs,
                   double bounds[6], int& points, std::vector<std::string>& unreadable) {
  PhaseProgress progress;
  if (format == "vtp")
    return GetGlobalBoundsFromVtp(&inputs, bounds, &points, nullptr, &progress, &progress, nullptr,
                                  &unreadable);
  if (format == "ptx")
    return GetGlobalBoundsFromPtx(&inputs, bounds, &points, &progress, &progress, nullptr,
                                  &unreadable);
  return GetGlobalBoundsFromAscii(&inputs, bounds, &points, &progress, &progress, nullptr,
                                  &unreadable);
}

StreamCreatorFormat CreatorFormat(const std::string& format) {
  if (format == "vtp") return SCF_VTP_LIST;
  if (format == "ptx") return SCF_PTX_LIST;
  if (format == "ascii") return SCF_ASCII_LIST;
  return SCF_POINT_FILE;
}

void Tell(const std::string& message) {
  std::fprintf(stderr, "nimbex build: %s\n", message.c_str());
}

void TellEach(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) Tell(message);
}

// Set by SIGINT and SIGTERM: the creator stops at its next check and removes what the build
// wrote. The creator polls it between its library calls, as it polls a window's Abort button.
int g_Interruption = 0;

void Interrupt(int signalNumber) {
  g_Interruption = signalNumber;
}

// A second signal of the same kind ends the command at once (SA_RESETHAND).
void CatchInterruptions() {
  struct sigaction action = {};
  action.sa_handler = Interrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Refuse(const std::string& message) {
  Tell(message);
  return 1;
}

// The status of a command ended by a signal, as the shell reports one.
int Interrupted(const std::string& output) {
  Tell("interrupted; nothing of " + output + " was kept");
  return 128 + g_Interruption;
}

// Without --parse, text columns follow the names the first line gives them, the same in every
// input; without names they are x y z. Either way the user is told. Empty when the inputs'
// first lines disagree, with the reason in `refusal`.
std::string ColumnsOfTextInputs(const std::vector<std::string>& inputs, std::string& refusal) {
  const std::string named = CTextReader::ParseStringFromHeader(inputs.front());
  for (const std::string& input : inputs)
    if (CTextReader::ParseStringFromHeader(input) != named) {
      refusal = "the first lines of " + inputs.front() + " and " + input +
                " do not name the same columns; give --parse";
      return "";
    }
  if (named.empty()) {
    Tell("the first line of " + inputs.front() +
         " names no columns: they are read as x y z (--parse xyz)");
    return "xyz";
  }
  Tell("columns named by the first line of " + inputs.front() + ": --parse " + named);
  return named;
}

// The input as the creator takes it: the file itself, or a list file naming every input.
std::string WriteInputList(const std::vector<std::string>& inputs, const fs::path& folder) {
  const fs::path list = folder / ("nimbex-build-inputs-" + std::to_string(::getpid()) + ".txt");
  std::ofstream out(list);
  for (const std::string& input : inputs) out << fs::absolute(input).string() << "\n";
  return out ? list.string() : std::string();
}

}  // namespace

int RunBuild(const BuildOptions& options) {
  if (options.inputs.empty()) return Refuse("no input file given");
  const std::string format =
      options.format.empty() ? FormatFromExtension(options.inputs.front()) : Lower(options.format);
  if (format.empty())
    return Refuse("cannot tell the format of " + options.inputs.front() +
                  " from its extension; give --format las, text, vtp, ptx or ascii");
  if (!IsPointFileFormat(format) && CreatorFormat(format) == SCF_POINT_FILE)
    return Refuse("unknown input format '" + format + "'; use las, text, vtp, ptx or ascii");
  for (const std::string& input : options.inputs)
    if (!fs::is_regular_file(input)) return Refuse("cannot read the input file " + input);

  const fs::path output(options.output);
  if (Lower(output.extension().string()) != ".strm")
    return Refuse("the output " + options.output + " must be a .strm file");
  // Any file of the set counts: the new stream replaces the whole set.
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT && !options.overwrite; ++kind) {
    const fs::path existing = GetStrmCompanionName(output, StrmFileKind(kind));
    if (fs::exists(fs::symlink_status(existing)))
      return Refuse("the stream " + options.output + " exists already (" + existing.string() +
                    "); choose another name or give --overwrite");
  }

  // Every attribute a LAS file holds is kept.
  std::string parse = options.parse;
  if (format == "las") parse = GetLasParseString(options.inputs);
  if (format == "text" && parse.empty()) {
    std::string refusal;
    parse = ColumnsOfTextInputs(options.inputs, refusal);
    if (parse.empty()) return Refuse(refusal);
  }
  if (!IsPointFileFormat(format)) parse = "xyz";  // models bring their own attributes
  // Airborne LAS and PTX scans are terrain; text, models and ASCII scans are octrees.
  const int terrain =
      options.terrain >= 0 ? options.terrain : (format == "las" || format == "ptx" ? 1 : 0);

  CatchInterruptions();
  double bounds[6] = {0, 0, 0, 0, 0, 0};
  int points = 0;
  const bool pointFile = IsPointFileFormat(format);
  std::vector<std::string> unreadable;
  if (!pointFile && !FindListBounds(format, options.inputs, bounds, points, unreadable))
    return Refuse("cannot read the inputs' bounds");
  if (!pointFile && points == 0) {
    TellEach(unreadable);  // otherwise gridding meets the same damage and reports it
    return Refuse("the inputs hold no readable point");
  }

  if (g_Interruption) return Interrupted(options.output);

  std::string input = options.inputs.front();
  const bool listOfFiles = options.inputs.size() > 1 || !pointFile;
  if (listOfFiles) {
    input = WriteInputList(options.inputs, fs::temp_directory_path());
    if (input.empty()) return Refuse("cannot write the list of input files");
  }

  const auto start = std::chrono::steady_clock::now();
  CStreamCreator creator;
  creator.SetGSD(options.gsd);
  creator.PutMorph(options.morph ? 1 : 0);
  PhaseProgress progress;
  const int built = creator.CreateStream(
      input, format, parse, terrain, options.utmZone != -1, options.utmZone, listOfFiles,
      options.output, &g_Interruption, CreatorFormat(format), pointFile ? nullptr : bounds,
      pointFile ? nullptr : &points, nullptr, &progress, &progress, nullptr);
  progress.Finish();
  if (listOfFiles) fs::remove(input);
  if (!built && g_Interruption) return Interrupted(options.output);
  TellEach(creator.GetDamagedInputs());
  if (!built) return Refuse(creator.GetLastError());

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (creator.GetDroppedPointsCount() > 0)
    std::fprintf(stderr, "nimbex build: %lld input points could not be written (see %s)\n",
                 creator.GetDroppedPointsCount(),
                 fs::path(output).replace_extension("log").string().c_str());
  for (const std::string& warning : creator.GetInputWarnings())
    std::fprintf(stderr, "nimbex build: %s\n", warning.c_str());
  if (creator.GetMissingPointsCount() > 0)
    std::fprintf(stderr,
                 "nimbex build: %lld points announced by the input are missing (truncated file)\n",
                 creator.GetMissingPointsCount());
  if (creator.GetSkippedRecordsCount() > 0)
    std::fprintf(stderr, "nimbex build: %lld input lines are not points and were skipped\n",
                 creator.GetSkippedRecordsCount());
  std::printf("%s: %d points, %zu items, depth %d, %.2f seconds\n", options.output.c_str(),
              creator.GetPointsCount(), creator.GetItemsIds()->size(), creator.GetGridDepth(),
              seconds);
  if (!creator.GetDamagedInputs().empty())
    return Refuse(options.output +
                  " holds only the points that could be read: see the damaged inputs above");
  return 0;
}
