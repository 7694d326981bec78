#include "app/widgets/HelpWindow.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent), m_Browser(new QTextBrowser(this)) {
  setWindowTitle("Orvalis help");
  setModal(false);
  resize(760, 640);
  m_Browser->setOpenExternalLinks(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Browser);
  layout->addWidget(buttons);
  connect(m_Browser, &QTextBrowser::sourceChanged, this, [this] {
    const QString title = m_Browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QString("Orvalis help") : "Orvalis help: " + title);
  });
}

void CHelpWindow::ShowPage(const QString& path) {
  m_Browser->setSource(QUrl::fromLocalFile(path));
  show();
  raise();
  activateWindow();
}
