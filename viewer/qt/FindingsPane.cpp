#include "viewer/qt/FindingsPane.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>

namespace riffo {

namespace {

constexpr int INDEX_ROLE = Qt::UserRole + 1;

QIcon SeverityIcon(int32_t reportType) {
  QStyle* style = QApplication::style();
  switch (reportType) {
    case 3: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case 2: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    default: return style->standardIcon(QStyle::SP_MessageBoxInformation);
  }
}

QString SeverityName(int32_t reportType) {
  switch (reportType) {
    case 1: return QStringLiteral("Info");
    case 2: return QStringLiteral("Warning");
    case 3: return QStringLiteral("Error");
    default: return QStringLiteral("Unknown");
  }
}

}  // namespace

TFindingsPane::TFindingsPane(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("FindingsPane"));
  setColumnCount(ColumnCount);
  setHeaderLabels({QStringLiteral("#"), QStringLiteral("Message"), QStringLiteral("Position")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(ColumnNumber, QHeaderView::ResizeToContents);
  header()->setSectionResizeMode(ColumnMessage, QHeaderView::Stretch);
  header()->setSectionResizeMode(ColumnPosition, QHeaderView::ResizeToContents);
  setMinimumHeight(10);
  // Keyboard and mouse both lead to the finding: a new current row, or a
  // click on the row that is current already (the tree may have moved since).
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { Choose(current); });
  connect(this, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item, int) { Choose(item); });
}

void TFindingsPane::ShowFindings(const std::vector<TLoadFinding>& findings, bool hasFile) {
  const QSignalBlocker quiet(this);  // filling the list chooses nothing
  clear();
  if (!hasFile) return;
  if (findings.empty()) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(ColumnNumber, QString::fromStdU16String(NO_FINDINGS_TEXT));
    item->setData(ColumnNumber, INDEX_ROLE, -1);
    item->setFlags(Qt::ItemIsEnabled);
    item->setFirstColumnSpanned(true);
    return;
  }
  for (size_t i = 0; i < findings.size(); ++i) {
    const TLoadFinding& finding = findings[i];
    auto* item = new QTreeWidgetItem(this);
    item->setIcon(ColumnNumber, SeverityIcon(finding.ReportType));
    item->setToolTip(ColumnNumber, SeverityName(finding.ReportType));
    item->setText(ColumnNumber, QString::number(finding.ValidationID));
    item->setText(ColumnMessage, QString::fromStdU16String(finding.Message));
    item->setText(ColumnPosition, QString::fromStdU16String(FindingPositionText(finding.Position)));
    item->setData(ColumnNumber, INDEX_ROLE, static_cast<int>(i));
  }
}

int TFindingsPane::FindingIndex(const QTreeWidgetItem* item) {
  return item ? item->data(ColumnNumber, INDEX_ROLE).toInt() : -1;
}

void TFindingsPane::Choose(QTreeWidgetItem* item) {
  const int index = FindingIndex(item);
  if (index >= 0 && OnFindingChosen) OnFindingChosen(static_cast<size_t>(index));
}

}  // namespace riffo
