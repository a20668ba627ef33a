#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class QAbstractItemModel;
class QListView;
class CStaticIpRowPainter;

// Binds a list control of the batch static IP dialogs (a QListView) to its row model and a row
// painter built from the row layout, and reports clicks on a row with the part under the mouse.
class CStaticIpListView : public QObject {
  Q_OBJECT
public:
  // rowTemplate: the loaded row layout (see CStaticIpRowPainter); parts: its drawn controls.
  CStaticIpListView(QListView* view, QAbstractItemModel* model, QWidget* rowTemplate,
                    const QStringList& parts);

  QListView* View() const { return m_view; }
  CStaticIpRowPainter* Painter() const { return m_painter; }
  // The part under a point of the view port; -1 when none.
  int PartAt(const QPoint& viewportPoint) const;

signals:
  void RowClicked(int row, int part);

private:
  QPointer<QListView> m_view;
  CStaticIpRowPainter* m_painter;
  int m_partCount;
};
