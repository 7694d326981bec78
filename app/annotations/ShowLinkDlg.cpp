#include "app/annotations/ShowLinkDlg.h"

#include <unistd.h>

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCodec>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <filesystem>

#include "app/annotations/Link.h"
#include "app/drawings/CadDrawing.h"
#include "app/drawings/CadOrthoData.h"
#include "app/drawings/CadView.h"

namespace fs = std::filesystem;

namespace {

bool HasNetworkScheme(const QUrl& url) {
  static const QStringList network = {"http", "https", "ftp"};
  return network.contains(url.scheme().toLower());
}

// The browser's page processes refuse to start for the root user with their sandbox on, and
// their refusal ends the whole program: the sandbox must have been turned off for it.
bool EmbeddedBrowserCanRun() {
  if (geteuid() != 0) return true;
  return qgetenv("QTWEBENGINE_DISABLE_SANDBOX") == "1" ||
         qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox");
}

// A file's bytes as text: UTF-8 when they are valid UTF-8, otherwise one character per byte.
QString DecodeText(const QByteArray& bytes) {
  QTextCodec::ConverterState state;
  const QString text =
      QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
  return state.invalidChars == 0 ? text : QString::fromLatin1(bytes);
}

}  // namespace

QUrl WebLinkAddress(const std::string& address, std::string* local) {
  const QString typed = QString::fromStdString(address).trimmed();
  const QUrl url(typed);
  // One letter before ':' is a drive, not a scheme.
  const bool hasScheme = url.isValid() && url.scheme().size() > 1;
  if (hasScheme && url.scheme().toLower() == "file") {
    *local = url.toLocalFile().toStdString();
    return url;
  }
  if ((hasScheme && HasNetworkScheme(url)) || typed.startsWith("www.", Qt::CaseInsensitive))
    return QUrl::fromUserInput(typed);
  if (typed.contains(".htm", Qt::CaseInsensitive) || fs::is_regular_file(address)) {
    *local = address;
    return QUrl::fromLocalFile(QString::fromStdString(fs::absolute(address).string()));
  }
  return QUrl::fromUserInput(typed);
}

CShowLinkDlg::CShowLinkDlg(QWidget* parent, int type, const std::string& label,
                           const std::string& path)
    : QDialog(parent), m_Type(type), m_Path(path) {
  setWindowTitle(QString::fromStdString(label));
  m_Note = new QLabel(this);
  m_Note->setWordWrap(true);
  m_Note->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Note);
  layout->addWidget(buttons);
  resize(900, 700);
}

CShowLinkDlg::~CShowLinkDlg() {
  // The view shows the drawing until it goes.
  delete m_ImageView;
}

int CShowLinkDlg::OpenLink() {
  switch (m_Type) {
    case LINK_WEB:
      return OpenWebLink();
    case LINK_FILE:
      return OpenFileLink();
    case LINK_IMAGE:
      return OpenImageLink();
    default:
      return -1;
  }
}

int CShowLinkDlg::OpenWebLink() {
  std::string local;
  const QUrl address = WebLinkAddress(m_Path, &local);
  if (!local.empty() && !fs::is_regular_file(local)) {
    ShowMissingFile(local);
    return 0;
  }
  if (!EmbeddedBrowserCanRun()) {
    QMessageBox::information(parentWidget(), "Orvalis",
                             QString("The page %1 cannot be shown here: the embedded browser "
                                     "does not run for the root user. Open it in a browser, or "
                                     "run Orvalis as an ordinary user.")
                                 .arg(address.toString()));
    return 0;
  }
  m_Browser = new QWebEngineView(this);
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, m_Browser, 1);
  connect(m_Browser, &QWebEngineView::loadFinished, this, [this](bool ok) {
    if (!ok) ShowNote(QString("The page %1 could not be loaded.").arg(m_Browser->url().toString()));
  });
  connect(m_Browser->page(), &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus, int code) {
            ShowNote(QString("The browser's page process stopped (exit code %1): the page "
                             "cannot be shown.")
                         .arg(code));
          });
  m_Browser->load(address);
  return 1;
}

int CShowLinkDlg::OpenFileLink() {
  if (!fs::is_regular_file(m_Path)) {
    ShowMissingFile(m_Path);
    return 0;
  }
  QFile file(QString::fromStdString(m_Path));
  if (!file.open(QIODevice::ReadOnly)) {
    QMessageBox::information(
        parentWidget(), "Orvalis",
        QString("Unable to read %1: %2").arg(QString::fromStdString(m_Path), file.errorString()));
    return 0;
  }
  const QByteArray bytes = file.read(kMaxTextBytes);
  m_Text = new QPlainTextEdit(this);
  m_Text->setReadOnly(true);
  m_Text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_Text->setPlainText(DecodeText(bytes));
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, m_Text, 1);
  if (file.size() > bytes.size())
    ShowNote(QString("The file holds %1 bytes: only its first %2 bytes are shown.")
                 .arg(file.size())
                 .arg(bytes.size()));
  return 1;
}

// The picture as the image of a read-only drawing: its lower-left corner at (0, 0), one unit
// per pixel, on layer 0, zoomed to its extents. The picture is read in tiles at the detail
// the zoom needs, so that large photographs open at once.
int CShowLinkDlg::OpenImageLink() {
  if (!fs::is_regular_file(m_Path)) {
    ShowMissingFile(m_Path);
    return 0;
  }
  GdalDatasetPtr picture = OpenRasterReadOnly(m_Path);
  if (!picture) {
    QMessageBox::information(parentWidget(), "Orvalis",
                             QString("Unable to read the picture %1: it is not an image file "
                                     "this program can read.")
                                 .arg(QString::fromStdString(m_Path)));
    return 0;
  }
  CadEntity image;
  image.type = CAD_IMAGE;
  image.layerId = 0;
  image.vertices = {CadPoint{0, 0, 0}};
  image.imageFile = m_Path;
  image.image = std::make_shared<CCadOrthoSource>(std::move(picture));
  m_Drawing = std::make_unique<CCadDrawing>();
  m_Drawing->AddEntity(image);
  m_Drawing->PutReadOnly(true);
  m_ImageView = new CCadView(this);
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, m_ImageView, 1);
  m_ImageView->SetDrawing(m_Drawing.get());
  return 1;
}

void CShowLinkDlg::ShowNote(const QString& text) {
  m_Note->setText(text);
  m_Note->show();
}

void CShowLinkDlg::ShowMissingFile(const std::string& path) {
  QMessageBox::information(
      parentWidget(), "Orvalis",
      QString("Unable to find selected file %1").arg(QString::fromStdString(path)));
}
