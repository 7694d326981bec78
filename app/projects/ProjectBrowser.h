// The project browser's logic, without widgets: which projects of the database it shows (and
// which rows it forgets because their stream is gone), the pictures and texts it shows for
// them, and the Project Manager command that shows it until a project opens.
#pragma once

#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "DBRecord.h"
#include "DataBaseSql.h"

// A project the browser shows: a copy of its database row, and the stream and overview
// picture on disk. They are the row's paths, or the files those paths name spelled in
// another case when the row comes from a build that stored every text in lower case.
struct CBrowserProject {
  CDBRecordProject record;
  std::string streamPath;
  std::string picturePath;
};

// The file a stored path names: the path itself when it exists, else the one file whose
// path differs from it only in case; empty when there is none, or more than one.
std::string LocateStoredFile(const std::string& storedPath);

// What became of a project's stream file.
enum class StreamState { Present, Gone, Unknown };
// Present when the stream is found (in any spelling); Gone only for an absolute path whose
// file, and every spelling of it, is really missing; Unknown otherwise (a relative path, a
// folder that cannot be read, a path that names a folder), so that the row is kept.
StreamState GetStreamState(const std::string& storedPath);

// Reads every project row in database order and returns those whose stream is present.
// The rows whose stream is gone are deleted from the database; a row in another state is
// kept and not shown. Nothing is deleted when the rows cannot be read.
std::vector<CBrowserProject> PrepareBrowserProjects(CDataBaseSql& db);

// The size of the browser's pictures for a list `listHeight` pixels high: 85 % of the
// height wide, with the height three quarters of the width (in whole quarters).
cv::Size GetBrowserPictureSize(int listHeight);

// The project's overview picture fitted into a black `size` canvas (3 channels, BGR). A
// picture that is missing or cannot be read is replaced by PhotoNotAvailable.bmp of
// `pictureFolder`; a dark grey canvas when that cannot be read either.
cv::Mat MakeBrowserPicture(const std::string& picturePath, const std::string& pictureFolder,
                           cv::Size size);

// The text of the browser's "Info" for a project.
std::string FormatProjectInfo(const CDBRecordProject& record);

// What the user chose in the browser.
struct BrowserChoice {
  enum Kind { Cancelled, Project, OtherStream };
  Kind kind = Cancelled;
  int projectId = -1;       // for Project
  std::string otherStream;  // for OtherStream
};

// The texts of the Project Manager command.
extern const char* const kNoProjectDataMessage;
extern const char* const kProjectOpenErrorMessage;

// What the Project Manager command asks of the program: the browser shown with the projects
// until the user chooses, the opening of a stream as a project (true when it is open, or
// already was), and the messages for the user.
struct ProjectManagerHost {
  std::function<BrowserChoice(const std::vector<CBrowserProject>& projects)> showBrowser;
  std::function<bool(const std::string& streamPath)> openStream;
  DBMessageCallback report;
};

// The Project Manager command: prepares the projects, shows the browser with them and opens
// the chosen project (read again from the database by its id) or the other stream chosen,
// showing the browser again after a failed opening, until a project opens or the user gives
// up. A chosen project whose row is no longer in the database ends the command with an
// error. Returns 1 when a project opened. `db` may be null: the browser then shows no
// project.
int RunProjectManager(CDataBaseSql* db, const ProjectManagerHost& host);
