// Builds the stream of a new project from the models a build dialog collected: the bounds
// pass (VTP, PTX), the project folder and its list file, the creator, and the import of the
// photographs into the new project. It reports into the sinks it is given and stops when the
// abort flag is set; what it has to tell the user it keeps as its outcome and message. It
// opens no window: the command that runs it shows the messages and opens the project.
#pragma once

#include <string>
#include <vector>

#include "ImageImport.h"
#include "ProjectBuild.h"

class CProgressSink;
class CTextSink;

// The messages of a build, as the user reads them.
constexpr const char* kNoGlobalBounds = "Unable to get model global bounds";
constexpr const char* kProcessStopped = "Process stopped by user!";
constexpr const char* kInputModelUnreadable = "Unable to read input model";
constexpr const char* kStreamNotCreated = "Unable to create stream!";
constexpr const char* kCreateStreamStopped = "Create stream stopped by user!";
constexpr const char* kBuildFromTxtTitle = "Build Stream From Txt";

enum class BuildOutcome {
  Built,          // the stream is complete and the photographs imported
  Failed,         // nothing to open: see the message and the reason
  Stopped,        // the user aborted before the stream was complete
  ImportStopped,  // the stream is complete, the import of the photographs ended early
};

class CProjectBuilder {
 public:
  // `progress` and `status` may be null; `abort` is the flag the user's Abort sets.
  CProjectBuilder(CProgressSink* progress, CTextSink* status, int* abort);

  // Builds `outputPath` from VTP, PTX or LAS models (all of one kind) and imports `images`.
  BuildOutcome BuildFromModels(const std::vector<std::string>& models,
                               const std::vector<std::string>& images,
                               const std::string& outputPath);
  // Builds `outputPath` from ASCII point files read with `parseString`.
  BuildOutcome BuildFromAscii(const std::vector<std::string>& files, const std::string& parseString,
                              const std::string& outputPath);

  // The message for the user after a build that did not end Built; empty otherwise.
  const std::string& GetMessage() const { return m_Message; }
  // What the creator or the file system said went wrong, for the lines under the message.
  const std::string& GetReason() const { return m_Reason; }
  // The photographs that met a problem during the import.
  const ProblemList& GetProblems() const { return m_Problems; }

 private:
  bool IsAborted() const { return m_Abort && *m_Abort; }
  BuildOutcome End(BuildOutcome outcome, const std::string& message,
                   const std::string& reason = {});
  BuildOutcome FindBounds(const std::vector<std::string>& models, double bounds[6], int& points);
  BuildOutcome MakeProjectFolder(const std::string& outputPath, const std::string& listPath,
                                 const std::vector<std::string>& models);
  BuildOutcome CreateStream(BuildInputKind kind, const std::vector<std::string>& models,
                            const std::string& parse, const std::string& outputPath, double* bounds,
                            int* points, const char* stoppedMessage);

  CProgressSink* m_Progress;
  CTextSink* m_Status;
  int* m_Abort;
  std::string m_Message;
  std::string m_Reason;
  ProblemList m_Problems;
};
