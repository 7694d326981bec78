// Opening what a link points to. Paths given here are absolute (the link page resolves an
// embedded link's ".\" path against the project folder first). Each function shows its own
// messages, with `parent` as their parent window, and never passes a path through a shell.
#pragma once

#include <string>

class QWidget;

// Web, Image and (non-PDF) File links: the link viewer, modal, titled with the label: the
// embedded browser, the file's text, or the picture in a zoomable drawing view. Returns the
// viewer's result; -1 for any other type.
int ShowLinkViewer(QWidget* parent, int type, const std::string& label, const std::string& path);
// PDF files and other documents: the desktop's application for the file. 1 when it started;
// a missing file, or one that no program of the desktop opens, is said in a message.
int OpenDocument(const std::string& path);
// Media and audio links: the program's own player. 1 when the file plays.
int PlayMedia(QWidget* parent, const std::string& label, const std::string& path);
// Model links: the model viewer with the ";"-separated streams or VTP models. 1 when it opened.
int ShowModels(QWidget* parent, const std::string& label, const std::string& paths);
// A new audio link: the recording dialog. The recording is saved in the project's "FileLink"
// folder, numbered with the counter "nAudioLinks" of section "Links" in the project's
// settings file. Returns the recorded file's path, empty when nothing was recorded.
std::string RecordAudioLink(QWidget* parent, const std::string& projectFolder,
                            const std::string& projectSettingsFile);
// Vantel links: the Vantel program beside ours, started in the model's folder. 1 when it
// started.
int StartVantel(QWidget* parent, const std::string& modelPath);
