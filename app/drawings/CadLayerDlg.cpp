#include "CadLayerDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPixmap>
#include <QTableWidget>
#include <QVBoxLayout>

#include "CadDrawing.h"
#include "CadView.h"

namespace {

enum Column { COLUMN_COLOUR, COLUMN_NAME, COLUMN_SHOWN, COLUMN_COUNT };

QIcon Swatch(int index) {
  const unsigned color = CadGetColor(index);
  QPixmap swatch(16, 16);
  swatch.fill(QColor(color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff));
  return QIcon(swatch);
}

}  // namespace

CCadLayerDlg::CCadLayerDlg(CCadDrawing& drawing, CCadView& view, QWidget* parent)
    : QDialog(parent), m_Drawing(drawing), m_View(view) {
  setWindowTitle("Layer Properties");
  m_Table = new QTableWidget(this);
  m_Table->setObjectName("layerTable");
  m_Table->setColumnCount(COLUMN_COUNT);
  m_Table->setHorizontalHeaderLabels({"Colour", "Layer", "Shown"});
  m_Table->verticalHeader()->hide();
  m_Table->horizontalHeader()->setSectionResizeMode(COLUMN_NAME, QHeaderView::Stretch);
  m_Table->setSelectionMode(QAbstractItemView::NoSelection);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Table);
  layout->addWidget(buttons);
  Fill();
  connect(m_Table, &QTableWidget::cellChanged, this, &CCadLayerDlg::OnChanged);
  resize(420, 360);
}

void CCadLayerDlg::Fill() {
  const std::vector<CadLayer>& layers = m_Drawing.GetLayers();
  m_Table->setRowCount(static_cast<int>(layers.size()));
  for (int row = 0; row < m_Table->rowCount(); ++row) {
    const CadLayer& layer = layers[row];
    auto* colour = new QTableWidgetItem(Swatch(layer.color), QString::number(layer.color));
    colour->setFlags(Qt::ItemIsEnabled);
    auto* name = new QTableWidgetItem(QString::fromStdString(layer.name));
    name->setFlags(Qt::ItemIsEnabled);
    name->setData(Qt::UserRole, layer.id);
    auto* shown = new QTableWidgetItem;
    shown->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    shown->setCheckState(layer.visible ? Qt::Checked : Qt::Unchecked);
    m_Table->setItem(row, COLUMN_COLOUR, colour);
    m_Table->setItem(row, COLUMN_NAME, name);
    m_Table->setItem(row, COLUMN_SHOWN, shown);
  }
  m_Table->resizeColumnToContents(COLUMN_COLOUR);
}

void CCadLayerDlg::OnChanged(int row, int column) {
  if (column != COLUMN_SHOWN) return;
  CadLayer* layer =
      m_Drawing.GetLayerByID(m_Table->item(row, COLUMN_NAME)->data(Qt::UserRole).toInt());
  if (!layer) return;
  layer->visible = m_Table->item(row, COLUMN_SHOWN)->checkState() == Qt::Checked;
  m_View.update();
}
