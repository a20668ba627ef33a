#include "ui/main/model_combo.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>
#include <set>

#include "core/control/control.h"
#include "shell/global_utils.h"
#include "ui/framework/dlg_builder_callback.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/translate_manager.h"

namespace {
constexpr int kDropBoxSpace = 2;     // pixels between the combo and its drop-down
constexpr int kDropBoxHeight = 300;  // when the layout gives none
constexpr int kItemPadding = 16;     // left and right padding of a list row in the skin
}  // namespace

// ---------------------------------------------------------------------------------------------
// CModelCombo

CModelCombo::CModelCombo(QWidget* parent) : QComboBox(parent) {
  AddEntries();
  setCurrentIndex(0);
}

CModelCombo::~CModelCombo() {
  if (m_dropDown) delete m_dropDown.data();
}

namespace {
CModelCombo::CatalogReader& CatalogReaderSlot() {
  static CModelCombo::CatalogReader reader;
  return reader;
}
}  // namespace

void CModelCombo::SetCatalogReader(CatalogReader reader) {
  CatalogReaderSlot() = std::move(reader);
}

namespace {
CModelCombo::ReportedModelsReader& ReportedModelsSlot() {
  static CModelCombo::ReportedModelsReader reader;
  return reader;
}

std::vector<std::string> ReportedModels() {
  if (ReportedModelsSlot()) return ReportedModelsSlot()();
  std::vector<std::string> models;
  for (const DEVICE_ENTRY_T& device : CControl::GetInstance()->GetDeviceList())
    models.push_back(device.model);
  return models;
}
}  // namespace

void CModelCombo::SetReportedModelsReader(ReportedModelsReader reader) {
  ReportedModelsSlot() = std::move(reader);
}

void CModelCombo::Register() {
  CDlgBuilderCallback::RegisterClass(QStringLiteral("ModelCombo"),
                                     [](QWidget* parent) { return new CModelCombo(parent); });
}

void CModelCombo::AddEntries() {
  addItem(TrText(QStringLiteral("All")), QString());
  // The catalog maps model name -> firmware prefix, ordered by name.
  const auto catalog =
      CatalogReaderSlot() ? CatalogReaderSlot()() : CGlobalUtils::ReadModelNameMap();
  // A model a device reports is a choice too, whether or not the catalog knows it. One entry per
  // name ignoring case (the filter compares that way), sorted the same way.
  auto byName = [](const QString& a, const QString& b) {
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  };
  std::set<QString, decltype(byName)> names(byName);
  std::set<QString> seen;  // upper-cased
  auto add = [&](const std::string& name) {
    const QString model = QString::fromStdString(name);
    if (model.trimmed().isEmpty() || !seen.insert(model.toUpper()).second) return;
    names.insert(model);
  };
  for (const auto& [name, prefix] : catalog) add(name);
  for (const std::string& name : ReportedModels()) add(name);
  for (const QString& model : names) addItem(TrText(model), model);
}

void CModelCombo::paintEvent(QPaintEvent*) {
  // A name too long for the box is elided at its end and shown whole as the tooltip, instead of
  // being cut off mid-word.
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  const QString whole = option.currentText;
  option.currentText = fontMetrics().elidedText(whole, Qt::ElideRight, field.width());
  const QString tip = option.currentText == whole ? QString() : whole;
  if (toolTip() != tip) setToolTip(tip);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void CModelCombo::changeEvent(QEvent* event) {
  QComboBox::changeEvent(event);
  if (event->type() != QEvent::LanguageChange) return;
  for (int i = 0; i < count(); ++i) {
    const QString value = itemData(i).toString();
    setItemText(i, TrText(value.isEmpty() ? QStringLiteral("All") : value));
  }
}

QString CModelCombo::GetSelectedValue() const {
  int index = currentIndex();
  return index >= 0 ? itemData(index).toString() : QString();
}

void CModelCombo::SelectByValue(const QString& value, bool notify) {
  for (int i = 0; i < count(); ++i) {
    if (itemData(i).toString() != value) continue;
    if (notify) {
      setCurrentIndex(i);
    } else {
      QSignalBlocker block(this);
      setCurrentIndex(i);
    }
    return;
  }
}

void CModelCombo::RebuildItems() {
  const QString selected = GetSelectedValue();
  int position = 0;
  {
    QSignalBlocker block(this);
    clear();
    AddEntries();
    for (int i = 1; i < count(); ++i) {
      if (itemData(i).toString() == selected) {
        position = i;
        break;
      }
    }
    setCurrentIndex(position);
  }
  if (itemData(position).toString() != selected) {
    // The model has left the catalog: the filter falls back to "All" and says so.
    if (CNotifyHub* hub = CNotifyHub::Of(this))
      hub->SendNotify(this, kNotifyItemSelect, position, -1);
  }
}

void CModelCombo::showPopup() {
  if (m_dropDown) return;
  m_dropDown = new CModelComboDlg(this);
  connect(m_dropDown, &QDialog::finished, this, &CModelCombo::OnDropDownFinished);
  m_dropDown->ShowDropDown();
  if (CNotifyHub* hub = CNotifyHub::Of(this)) hub->SendNotify(this, QStringLiteral("dropdown"));
  update();
}

void CModelCombo::hidePopup() {
  if (m_dropDown) m_dropDown->Close(IDCANCEL);
}

void CModelCombo::OnDropDownFinished() {
  if (m_dropDown) m_dropDown->deleteLater();
  m_dropDown = nullptr;
  update();
}

// ---------------------------------------------------------------------------------------------
// CModelComboDlg

CModelComboDlg::CModelComboDlg(CModelCombo* owner)
    : CBaseDlg(QString(), nullptr, true), m_owner(owner) {}

IPS_BEGIN_MESSAGE_MAP(CModelComboDlg, CBaseDlg)
IPS_ON_MSGTYPE("windowinit", OnWindowInit)
IPS_ON_TEXTCHANGED("edit_filter_search", OnSearchTextChanged)
IPS_ON_ITEMSELECT("list_model", OnListItemSelect)
IPS_ON_NOTIFY("itemclick", "list_model", OnListItemSelect)
IPS_END_MESSAGE_MAP()

QRect CModelComboDlg::DropDownRect(const QRect& combo, const QSize& dropSize, int space,
                                   const QRect& workArea) {
  const int width = dropSize.width() > 0 ? dropSize.width() : combo.width();
  QRect rect(combo.left(), combo.bottom() + 1 + space, width, dropSize.height());
  if (workArea.isValid() && rect.bottom() > workArea.bottom()) {
    rect.moveBottom(combo.top() - 1 - space);
  }
  return rect;
}

int CModelComboDlg::WidthForNames() const {
  if (!m_list) return 0;
  // The widest name, plus what the list puts around a row: its frame, the item's margins and
  // room for a vertical scroll bar.
  const QFontMetrics metrics(m_list->font());
  int widest = 0;
  for (int i = 0; i < m_list->count(); ++i)
    widest = std::max(widest, metrics.horizontalAdvance(m_list->item(i)->text()));
  const int scrollBar = m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
  const int listChrome = 2 * m_list->frameWidth() + scrollBar + kItemPadding;
  // The list may sit inside margins of the layout.
  const int outside = GetRoot() ? GetRoot()->width() - m_list->width() : 0;
  return widest + listChrome + std::max(0, outside);
}

void CModelComboDlg::ShowDropDown() {
  if (!m_owner || !Create()) return;
  setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
  QWidget* root = GetRoot();
  QSize size(m_owner->width(), root && root->height() > 0 ? root->height() : kDropBoxHeight);
  if (root && root->minimumWidth() > size.width()) size.setWidth(root->minimumWidth());
  // As wide as the longest model name, so names show whole; only past the screen's width are
  // they elided.
  size.setWidth(std::max(size.width(), WidthForNames()));
  QRect combo(m_owner->mapToGlobal(QPoint(0, 0)), m_owner->size());
  // The screen the window is on, not the primary one.
  QRect workArea;
  QScreen* screen = m_owner->screen() ? m_owner->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    workArea = screen->availableGeometry();
    setScreen(screen);
  }
  QRect rect = DropDownRect(combo, size, kDropBoxSpace, workArea);
  if (workArea.isValid()) {
    rect.setWidth(std::min(rect.width(), workArea.width()));
    if (rect.right() > workArea.right()) rect.moveRight(workArea.right());
    if (rect.left() < workArea.left()) rect.moveLeft(workArea.left());
  }
  setGeometry(rect);
  show();
  activateWindow();
}

void CModelComboDlg::InitWindow() {
  m_searchBox = FindControl<QLineEdit>(QStringLiteral("edit_filter_search"));
  m_list = FindControl<QListWidget>(QStringLiteral("list_model"));
  if (!m_list || !m_owner) return;
  m_owner->RebuildItems();
  QSignalBlocker block(m_list);
  for (int i = 0; i < m_owner->count(); ++i) {
    auto* item = new QListWidgetItem(m_owner->itemText(i), m_list);
    item->setData(Qt::UserRole, m_owner->itemData(i));
  }
  m_list->setCurrentRow(m_owner->currentIndex());
}

void CModelComboDlg::OnWindowInit(TNotifyMsg&) {
  if (m_searchBox) {
    m_searchBox->installEventFilter(this);
    m_searchBox->setFocus(Qt::OtherFocusReason);
  }
  if (m_owner) EnsureVisible(m_owner->currentIndex());
}

void CModelComboDlg::EnsureVisible(int index) {
  if (!m_list || index < 0 || index >= m_list->count()) return;
  m_list->scrollToItem(m_list->item(index), QAbstractItemView::EnsureVisible);
}

void CModelComboDlg::OnSearchTextChanged(TNotifyMsg&) {
  if (!m_list || !m_searchBox) return;
  const QString text = m_searchBox->text().toUpper();
  for (int i = 0; i < m_list->count(); ++i) {
    QListWidgetItem* item = m_list->item(i);
    item->setHidden(!text.isEmpty() && !item->text().toUpper().contains(text));
  }
  // The first match is marked, so that Enter takes it.
  if (!text.isEmpty()) MarkRow(NextShownRow(-1, 1));
}

void CModelComboDlg::MarkRow(int row) {
  if (!m_list || row < 0 || row >= m_list->count()) return;
  QSignalBlocker block(m_list);  // marking is not choosing
  m_list->setCurrentRow(row);
  EnsureVisible(row);
  m_list->viewport()->update();
}

int CModelComboDlg::NextShownRow(int from, int step) const {
  if (!m_list) return -1;
  for (int row = from + step; row >= 0 && row < m_list->count(); row += step) {
    if (!m_list->item(row)->isHidden()) return row;
  }
  return -1;
}

bool CModelComboDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_searchBox && event->type() == QEvent::KeyPress && m_list) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const int current = m_list->currentRow();
    const bool currentShown = current >= 0 && !m_list->item(current)->isHidden();
    switch (key) {
      case Qt::Key_Down:
      case Qt::Key_Up: {
        const int step = key == Qt::Key_Down ? 1 : -1;
        const int next =
            NextShownRow(currentShown ? current : (step > 0 ? -1 : m_list->count()), step);
        if (next >= 0) MarkRow(next);
        return true;
      }
      case Qt::Key_Return:
      case Qt::Key_Enter: {
        const int row = currentShown ? current : NextShownRow(-1, 1);
        if (row >= 0 && m_owner) {
          m_owner->setCurrentIndex(row);
          Close(IDOK);
        }
        return true;
      }
      case Qt::Key_Escape:
        Close(IDCANCEL);
        return true;
      default:
        break;
    }
  }
  return CBaseDlg::eventFilter(watched, event);
}

void CModelComboDlg::OnListItemSelect(TNotifyMsg&) {
  if (!m_list || !m_owner) return;
  int row = m_list->currentRow();
  if (row < 0 || row >= m_list->count()) return;
  // Hidden entries keep their positions, so the list's index is the combo's index.
  m_owner->setCurrentIndex(row);
  Close(IDOK);
}
