#include "app/widgets/ReportDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

CReportDlg::CReportDlg(const QString& title, const QStringList& columns, QWidget* parent)
    : QDialog(parent), m_Title(new QLabel(title, this)), m_List(new QTreeWidget(this)) {
  setWindowTitle(title);
  setSizeGripEnabled(true);
  QFont bold = m_Title->font();
  bold.setBold(true);
  m_Title->setFont(bold);
  m_Title->setWordWrap(true);
  m_List->setObjectName("reportList");
  m_List->setColumnCount(columns.size());
  m_List->setHeaderLabels(columns);
  m_List->setRootIsDecorated(false);
  m_List->setAlternatingRowColors(true);
  m_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_List->setTextElideMode(Qt::ElideMiddle);
  // The item column takes what the others leave once they fit their contents.
  m_List->header()->setStretchLastSection(false);
  m_List->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int column = 1; column < columns.size(); ++column)
    m_List->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Title);
  layout->addWidget(m_List, 1);
  layout->addWidget(buttons);
  resize(640, 360);
}

void CReportDlg::AddRow(const QStringList& cells) {
  auto* item = new QTreeWidgetItem(m_List, cells.mid(0, m_List->columnCount()));
  for (int column = 1; column < m_List->columnCount(); ++column)
    item->setTextAlignment(column, Qt::AlignCenter);
  item->setToolTip(0, cells.value(0));
}

int CReportDlg::GetRowCount() const {
  return m_List->topLevelItemCount();
}

QStringList CReportDlg::GetRow(int row) const {
  QStringList cells;
  if (QTreeWidgetItem* item = m_List->topLevelItem(row))
    for (int column = 0; column < m_List->columnCount(); ++column) cells << item->text(column);
  return cells;
}

QStringList CReportDlg::GetColumns() const {
  QStringList columns;
  for (int column = 0; column < m_List->columnCount(); ++column)
    columns << m_List->headerItem()->text(column);
  return columns;
}
