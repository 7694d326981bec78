#include "app/shell/OrvalisApp.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSplashScreen>
#include <QTimer>

#include "app/projects/DataBaseHost.h"
#include "app/projects/DataBaseSql.h"
#include "app/shell/AppLook.h"
#include "app/shell/MainFrame.h"
#include "app/shell/Settings.h"
#include "nimbex/platform/Hooks.h"

namespace {

constexpr int kSplashMs = 1000;

QPixmap MakeSplashPicture() {
  QPixmap picture(420, 220);
  picture.fill(QColor(45, 45, 45));
  QPainter painter(&picture);
  painter.setPen(QColor(88, 177, 0));
  QFont title = painter.font();
  title.setPointSize(28);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(picture.rect().adjusted(0, 0, 0, -40), Qt::AlignCenter, "Orvalis");
  QFont subtitle = painter.font();
  subtitle.setPointSize(10);
  subtitle.setBold(false);
  painter.setFont(subtitle);
  painter.setPen(QColor(220, 220, 220));
  painter.drawText(picture.rect().adjusted(0, 80, 0, 0), Qt::AlignCenter,
                   "Survey sites in 3D, version " + QApplication::applicationVersion());
  return picture;
}

QIcon MakeProgramIcon() {
  QPixmap picture(64, 64);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(88, 177, 0), 9));
  painter.drawEllipse(QRectF(8, 8, 48, 48));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(230, 230, 230));
  for (const QPointF& dot : {QPointF(32, 22), QPointF(24, 36), QPointF(40, 38)})
    painter.drawEllipse(dot, 4, 4);
  return QIcon(picture);
}

}  // namespace

COrvalisApp::COrvalisApp(const std::string& seedFolder, bool interactive)
    : m_SeedFolder(seedFolder.empty() ? ExecutableFolder() : seedFolder),
      m_Interactive(interactive) {}

COrvalisApp::~COrvalisApp() {
  delete m_Splash;
  m_MainFrame.reset();
  SetMessagePump({});
  SetUserMessageHook({});
  SetShiftKeyQuery({});
}

bool COrvalisApp::InitInstance(const QStringList& streams) {
  SetMessagePump([] { QCoreApplication::processEvents(); });
  if (m_Interactive) InstallMessageBoxes();
  SetShiftKeyQuery(
      [] { return (QApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0; });
  InitStrmDllFromSettings();
  ApplyAppLook(*qApp, LoadStoredAppLook());
  QApplication::setWindowIcon(MakeProgramIcon());
  if (m_Interactive) ShowSplashScreen();
  m_MainFrame = std::make_unique<CMainFrame>(nullptr, m_Interactive);
  m_MainFrame->SetPictureFolder(QString::fromStdString(m_SeedFolder));
  m_MainFrame->resize(1400, 900);
  // Shown before the streams open: the view loads while it paints, which pumps events, and
  // a window half way through showing its children must not see them.
  m_MainFrame->show();
  OpenDataBase();
  for (const QString& stream : streams) m_MainFrame->OpenProject(stream);
  m_ProjectBrowserWanted = CountProjects() > 0 && m_MainFrame->GetProjects().isEmpty();
  // Once the program waits for the user: the browser is a modal window of its own.
  if (m_ProjectBrowserWanted && m_Interactive)
    QTimer::singleShot(0, m_MainFrame.get(), &CMainFrame::RunProjectManager);
  return m_MainFrame->isVisible();
}

void COrvalisApp::OpenDataBase() {
  m_DataBase = std::make_unique<CDataBaseSql>(
      OrvalisDataFolder(), m_SeedFolder,
      [this](const std::string& text, DBMessageKind kind) { ReportDataBaseMessage(text, kind); },
      m_Interactive ? DBQuestionCallback([this](const std::string& question) {
        return AskDataBaseQuestion(question, m_MainFrame.get());
      })
                    : DBQuestionCallback());
  m_MainFrame->SetDataBase(m_DataBase.get());
}

// News ("Database initialized") goes to the status bar; problems in a message box.
void COrvalisApp::ReportDataBaseMessage(const std::string& text, DBMessageKind kind) {
  if (kind == DBMessageKind::Information && m_MainFrame)
    m_MainFrame->ShowStatusMessage(QString::fromStdString(text));
  else if (m_Interactive)
    ShowDataBaseMessage(text, kind, m_MainFrame.get());
  else
    ReportOnStandardError(text, kind);
}

// The library's messages reach the user in message boxes.
void COrvalisApp::InstallMessageBoxes() {
  SetUserMessageHook([](const std::string& text, const std::string& caption, UserMessageKind kind) {
    const QString title = caption.empty() ? QString("Orvalis") : QString::fromStdString(caption);
    const QString message = QString::fromStdString(text);
    if (kind == UserMessageKind::Information)
      QMessageBox::information(nullptr, title, message);
    else if (kind == UserMessageKind::Warning)
      QMessageBox::warning(nullptr, title, message);
    else
      QMessageBox::critical(nullptr, title, message);
  });
}

void COrvalisApp::ShowSplashScreen() {
  m_Splash = new QSplashScreen(MakeSplashPicture());
  m_Splash->setAttribute(Qt::WA_DeleteOnClose);
  m_Splash->show();
  QTimer::singleShot(kSplashMs, m_Splash, &QWidget::close);
  QCoreApplication::processEvents();
}

int COrvalisApp::CountProjects() {
  if (!m_DataBase->IsOpen()) return 0;
  CDBRecordProject all;
  const int count = m_DataBase->Select(&all);
  m_DataBase->ClearResults();
  return count;
}
