#include "ui/main/sort_arrow.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>

#include "ui/framework/base_dlg.h"
#include "ui/framework/control_util.h"

void UpdateSortImage(QWidget* root, QAbstractButton* button) {
  if (!button) return;
  const QString name = button->property("img_ctrl").toString();
  if (name.isEmpty()) return;
  auto* arrow = FindControl<QLabel>(root, name);
  if (!arrow) return;
  QString image;
  switch (GetTag(button)) {
    case 0:
      image = QStringLiteral("img/normal.png");
      break;
    case 1:
      image = QStringLiteral("img/inc.png");
      break;
    case 2:
      image = QStringLiteral("img/dec.png");
      break;
    default:
      break;
  }
  arrow->setProperty("bkimage", image.isEmpty()
                                    ? QString()
                                    : QStringLiteral("file='%1' dest='6,19,18,31'").arg(image));
  arrow->setPixmap(image.isEmpty() ? QPixmap() : QPixmap(CBaseDlg::GetSkinDirectory() + image));
}
