#include "NotesDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCodec>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "ImagePanelOps.h"
#include "app/projects/ProjectFiles.h"
#include "app/widgets/MakerInfo.h"
#include "nimbex/platform/TextFiles.h"

namespace fs = std::filesystem;

namespace {

// A note is a few lines of text; a file beyond this is no note the page can edit.
constexpr size_t kMaxNoteSize = 4 << 20;

// Notes are UTF-8 here; a note written on Windows holds the Windows ANSI code page.
QString DecodeNote(const std::string& data) {
  QTextCodec::ConverterState state;
  const QString text =
      QTextCodec::codecForName("UTF-8")->toUnicode(data.data(), int(data.size()), &state);
  if (state.invalidChars == 0) return text;
  return QTextCodec::codecForName("Windows-1252")->toUnicode(data.data(), int(data.size()));
}

QString FileText(const std::string& path) {
  return QString::fromStdString(path);
}

}  // namespace

CNotesDlg::CNotesDlg(CImagePanelOps& panel, QWidget* parent)
    : QWidget(parent), m_Panel(panel), m_Edit(new QPlainTextEdit(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->addWidget(m_Edit);
  ShowTitle(std::string());
}

int CNotesDlg::ShowNote(const std::string& imagePath) {
  if (imagePath.empty()) return 0;
  if (!m_NotePath.empty() && !SaveNote()) return 0;
  ShowTitle(imagePath);
  m_NotePath = MakeFileName(PFK_NOTE, imagePath);
  return LoadNoteFile() ? 1 : 0;
}

int CNotesDlg::SaveNote() {
  if (m_NotePath.empty()) return 0;
  // A note that was not touched is left as it is on disk, byte for byte.
  if (!m_Edit->document()->isModified()) return 1;
  QString text = m_Edit->toPlainText();
  std::error_code error;
  if (text.isEmpty()) {
    fs::remove(m_NotePath, error);
    if (error) {
      emit statusMessage(QString("Unable to delete the emptied note %1: %2")
                             .arg(FileText(m_NotePath), QString::fromStdString(error.message())));
      return 0;
    }
  } else {
    if (m_CrlfLineEnds) text.replace('\n', "\r\n");
    const QByteArray bytes = text.toUtf8();
    if (!ReplaceFile(m_NotePath, bytes.toStdString(), true)) {
      emit statusMessage(
          QString("Unable to write the note %1: the note stays in the Notes page. Make the "
                  "project folder writable and change photograph again, or copy the text "
                  "elsewhere.")
              .arg(FileText(m_NotePath)));
      return 0;
    }
  }
  m_Edit->document()->setModified(false);
  return 1;
}

int CNotesDlg::SaveData() {
  return m_NotePath.empty() ? 1 : SaveNote();
}

void CNotesDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Cancel();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CNotesDlg::closeEvent(QCloseEvent* event) {
  Cancel();
  event->accept();
}

void CNotesDlg::Cancel() {
  hide();
  m_Panel.TabClosed();
}

void CNotesDlg::ShowTitle(const std::string& imagePath) {
  setWindowTitle(QString("Notes - Talvern Software - %1 - %2")
                     .arg(kMakerWebAddress, QString::fromStdString(BaseName(imagePath))));
}

// Shows the note file; a photograph without one gets an empty note, created only once text is
// typed. A file the page cannot read back whole (a link, a folder, a device, an unreadable or
// oversized file) is shown empty and read-only, so that leaving the photograph cannot write
// over it or delete it.
bool CNotesDlg::LoadNoteFile() {
  m_Edit->clear();
  m_Edit->setReadOnly(false);
  m_CrlfLineEnds = false;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(m_NotePath, error);
  bool read = false;
  if (fs::exists(status)) {
    std::string data;
    read = !fs::is_symlink(status) && ReadRegularFile(m_NotePath, data, kMaxNoteSize);
    if (read) {
      m_CrlfLineEnds = data.find("\r\n") != std::string::npos;
      QString text = DecodeNote(data);
      if (m_CrlfLineEnds) text.replace("\r\n", "\n");
      m_Edit->setPlainText(text);
    } else {
      m_Edit->setReadOnly(true);
      emit statusMessage(QString("The note %1 is not a plain text file the Notes page can read: "
                                 "it is left as it is and cannot be edited here.")
                             .arg(FileText(m_NotePath)));
    }
  }
  m_Edit->document()->setModified(false);
  return read;
}
