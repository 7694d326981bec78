#include "ProjectBrowserDlg.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kListHeight = 250;
constexpr int kItemGap = 15;
constexpr int kLabelHeight = 36;
const QColor kListText(250, 250, 250);

QPixmap ToPixmap(const cv::Mat& bgr) {
  const QImage image(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step),
                     QImage::Format_BGR888);
  return QPixmap::fromImage(image.copy());
}

}  // namespace

CProjectBrowserDlg::CProjectBrowserDlg(std::string pictureFolder, QWidget* parent)
    : QDialog(parent),
      m_PictureFolder(std::move(pictureFolder)),
      m_List(new QListWidget(this)),
      m_Close(new QPushButton("Close", this)),
      m_OpenMore(new QPushButton("Open more stream...", this)),
      m_Info(new QPushButton("Info", this)) {
  setWindowTitle("Project Overview");
  m_List->setObjectName("projectList");
  m_List->setViewMode(QListView::IconMode);
  m_List->setFlow(QListView::LeftToRight);
  m_List->setWrapping(false);
  m_List->setMovement(QListView::Static);
  m_List->setSelectionMode(QAbstractItemView::SingleSelection);
  m_List->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  m_List->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_List->setTextElideMode(Qt::ElideMiddle);
  m_List->setFixedHeight(kListHeight);
  QPalette palette = m_List->palette();
  palette.setColor(QPalette::Base, Qt::black);
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::Text, kListText);
  m_List->setPalette(palette);
  m_List->installEventFilter(this);

  // Enter belongs to the list (it opens the project there), so no button is a default one.
  for (QPushButton* button : {m_Info, m_OpenMore, m_Close}) button->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_Info);
  buttons->addWidget(m_OpenMore);
  buttons->addStretch(1);
  buttons->addWidget(m_Close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_List);
  layout->addLayout(buttons);
  resize(1100, kListHeight + 60);

  connect(m_List, &QListWidget::itemDoubleClicked, this, &CProjectBrowserDlg::ChooseProject);
  connect(m_Info, &QPushButton::clicked, this, &CProjectBrowserDlg::OnInfo);
  connect(m_OpenMore, &QPushButton::clicked, this, &CProjectBrowserDlg::OnOpenMoreStream);
  connect(m_Close, &QPushButton::clicked, this, &QDialog::reject);
}

BrowserChoice CProjectBrowserDlg::Choose(const std::vector<CBrowserProject>& projects,
                                         const QString& browseFolder) {
  m_Projects = projects;
  m_BrowseFolder = browseFolder;
  m_Choice = BrowserChoice();
  FillList();
  m_List->setFocus();
  if (exec() != QDialog::Accepted) return BrowserChoice();
  return m_Choice;
}

void CProjectBrowserDlg::FillList() {
  const int clientHeight = kListHeight - 2 * m_List->frameWidth();
  const cv::Size size = GetBrowserPictureSize(clientHeight);
  m_List->setUpdatesEnabled(false);
  m_List->clear();
  m_List->setIconSize(QSize(size.width, size.height));
  m_List->setGridSize(QSize(size.width + kItemGap, size.height + kLabelHeight));
  for (size_t k = 0; k < m_Projects.size(); ++k) {
    const CBrowserProject& project = m_Projects[k];
    const QPixmap picture =
        ToPixmap(MakeBrowserPicture(project.picturePath, m_PictureFolder, size));
    // The selection shows on the name; the picture keeps its own colours.
    QIcon icon(picture);
    icon.addPixmap(picture, QIcon::Selected);
    auto* item = new QListWidgetItem(icon, QString::fromStdString(project.record.name));
    item->setData(Qt::UserRole, static_cast<int>(k));
    item->setToolTip(QString::fromStdString(project.streamPath));
    m_List->addItem(item);
  }
  if (m_List->count() > 0) m_List->setCurrentRow(0);
  m_List->setUpdatesEnabled(true);
}

void CProjectBrowserDlg::ChooseProject(QListWidgetItem* item) {
  if (!item) return;
  const CBrowserProject& project = m_Projects[item->data(Qt::UserRole).toInt()];
  m_Choice.kind = BrowserChoice::Project;
  m_Choice.projectId = project.record.id;
  accept();
}

bool CProjectBrowserDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_List && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ChooseProject(m_List->currentItem());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CProjectBrowserDlg::OnOpenMoreStream() {
  const QString path =
      QFileDialog::getOpenFileName(this, "Open more stream", m_BrowseFolder, "STRM Model(*.strm)");
  if (path.isEmpty()) return;
  m_Choice.kind = BrowserChoice::OtherStream;
  m_Choice.projectId = -1;
  m_Choice.otherStream = path.toStdString();
  accept();
}

void CProjectBrowserDlg::OnInfo() {
  const QList<QListWidgetItem*> selected = m_List->selectedItems();
  if (selected.isEmpty()) return;
  const CBrowserProject& project = m_Projects[selected.front()->data(Qt::UserRole).toInt()];
  QMessageBox::information(this, "Orvalis",
                           QString::fromStdString(FormatProjectInfo(project.record)));
}
