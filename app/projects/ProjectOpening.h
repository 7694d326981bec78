// The project's row in the database, written once each time the project is opened.
#pragma once

#include <ctime>
#include <string>

#include "DataBaseSql.h"

// "dd-mm-yyyy hh:mm:ss" in local time, the form of the dates stored in the database.
std::string FormatDBTime(std::time_t time);

// The creation time of a file, or its last modification where the file system keeps no
// creation time; -1 when the file cannot be read.
std::time_t FileCreationTime(const std::string& path);

// Inserts the row of a project opened for the first time, or counts one more opening of a
// known project. A project is known by its name (the stream's base name) and its stream
// path, both exactly as spelled (the path made absolute and canonical first); a row that an older
// build stored in lower case is taken over once and rewritten with the real name and paths. When
// more than one row matches, `warn` (or else the database's own reporter) gets "Warning: a record
// seems doubled into database!" and the first row is updated. Returns 1 when the row was written, 0
// otherwise.
int RecordProjectOpening(CDataBaseSql& db, const std::string& strmPath, int numPoints,
                         int numImages, const DBMessageCallback& warn = {});
