// The report a batch operation shows when it is over: one row per item that met a problem,
// in two or three columns (the item and what happened to it), under the report's title.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QTreeWidget;

class CReportDlg : public QDialog {
  Q_OBJECT
 public:
  // `columns` names the columns in order; rows are added with AddRow.
  CReportDlg(const QString& title, const QStringList& columns, QWidget* parent = nullptr);

  // Adds one row; cells beyond the columns are left out, missing ones stay empty.
  void AddRow(const QStringList& cells);
  int GetRowCount() const;
  QStringList GetRow(int row) const;
  QStringList GetColumns() const;
  QTreeWidget* GetList() const { return m_List; }

 private:
  QLabel* m_Title;
  QTreeWidget* m_List;
};
