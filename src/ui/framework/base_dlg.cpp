#include "ui/framework/base_dlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/framework/dialog_keys.h"
#include "ui/framework/dlg_builder_callback.h"
#include "ui/framework/mask_panel_wnd.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/tab_order.h"
#include "ui/framework/translate_manager.h"

CBaseDlg::CBaseDlg(const QString& caption, QWidget* parent, bool useMask)
    // No Qt parent: the mask disables the parent window, which would disable a child window too.
    // The dialog is tied to its parent as a transient window instead (Create).
    : QDialog(nullptr),
      m_caption(caption),
      m_parentWindow(parent ? parent->window() : nullptr),
      m_useMask(useMask) {
  m_hub = new CNotifyHub(this, this);
}

CBaseDlg::~CBaseDlg() {
  // Children are destroyed after this body; nothing may reach the message map from then on.
  m_hub->Shutdown();
}

IPS_BEGIN_MESSAGE_MAP(CBaseDlg, CNotifyPump)
IPS_ON_MSGTYPE("click", OnClick)
IPS_END_MESSAGE_MAP()

QString CBaseDlg::GetSkinDirectory() { return CDlgBuilderCallback::GetSkinDirectory(); }

bool CBaseDlg::Create() {
  if (m_root) return true;
  QString error;
  QWidget* root = CDlgBuilderCallback::BuildLayout(
      GetLayoutFileName(), this,
      [this](const QString& className, QWidget* parent) {
        return CreateControl(className, parent);
      },
      &error);
  if (!root) {
    qWarning("%s: %s", metaObject()->className(), qPrintable(error));
    return false;
  }
  m_root = root;
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(root);

  m_nativeFrame = root->property("nativeFrame").toBool();
  QVariant caption = root->property("captionHeight");
  if (caption.isValid()) m_captionHeight = caption.toInt();
  if (m_nativeFrame) {
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    QVariant resizable = root->property("resizable");
    if (!resizable.isValid() || resizable.toBool()) flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
  } else {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    layout->setContentsMargins(1, 1, 1, 1);  // room for the skin's border line
  }
  setProperty("frameless", !m_nativeFrame);
  setObjectName(root->objectName());
  setWindowTitle(m_caption.isEmpty() ? root->windowTitle() : m_caption);
  if (!root->windowIcon().isNull()) setWindowIcon(root->windowIcon());
  resize(root->size().expandedTo(root->minimumSizeHint()));

  // Qt's own default button would bypass the window's handlers: Enter is keyPressEvent's.
  for (QPushButton* button : root->findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  CTranslateManager::GetInstance()->TranslateTree(this);
  m_hub->Attach(root);
  if (m_parentWindow) {
    winId();
    if (QWindow* handle = windowHandle())
      handle->setTransientParent(m_parentWindow->windowHandle());
  }
  InitWindow();
  ApplyDialogTabOrder(root);
  m_created.store(true);  // from now on a close request from another thread counts
  return true;
}

int CBaseDlg::DoModal() {
  CMaskPanelWnd mask(m_parentWindow);
  if (m_useMask) mask.ShowMask(true);
  if (!Create()) return -1;
  CenterWindow();
  return exec();
}

void CBaseDlg::CenterWindow() {
  QRect area;
  if (m_parentWindow && m_parentWindow->isVisible()) {
    area = m_parentWindow->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) {
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
  }
}

void CBaseDlg::Close(int code) {
  if (QThread::currentThread() != thread()) {
    if (!m_created.load()) return;  // no window yet: nothing to close
    QMetaObject::invokeMethod(
        this, [this, code] { CloseNow(code); }, Qt::QueuedConnection);
    return;
  }
  CloseNow(code);
}

void CBaseDlg::CloseNow(int code) {
  if (!m_root) return;
  if (isVisible()) {
    done(code);
  } else {
    m_pendingClose = code;  // built but not shown yet (e.g. from InitWindow): close once shown
  }
}

bool CBaseDlg::SetTimer(QWidget* control, int id, int periodMs) {
  return m_hub->SetTimer(control, id, periodMs);
}

void CBaseDlg::KillTimer(QWidget* control, int id) { m_hub->KillTimer(control, id); }

void CBaseDlg::OnClick(TNotifyMsg& msg) {
  if (msg.SenderName() == QLatin1String("closebtn")) Close(IDCANCEL);
}

QWidget* CBaseDlg::CreateControl(const QString&, QWidget*) { return nullptr; }

void CBaseDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A dialog's buttons answer the keyboard as a desktop's do; the main window has no answer
      // to give, so the keys do nothing there.
      if (!m_nativeFrame && event->modifiers() == Qt::NoModifier) {
        if (QAbstractButton* button = EnterButton()) button->click();
      }
      event->accept();
      return;
    case Qt::Key_Escape:
      if (!m_nativeFrame) {
        if (QAbstractButton* button = EscapeButton(m_root)) button->click();
      }
      event->accept();
      return;
    case Qt::Key_Pause:
      event->accept();  // no default action in any window
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

QAbstractButton* CBaseDlg::EnterButton() const {
  auto* focused = qobject_cast<QPushButton*>(focusWidget());
  if (focused && focused->isEnabled() && focused->isVisible() && isAncestorOf(focused))
    return focused;
  return PrimaryButton(m_root);
}

void CBaseDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::LanguageChange && m_root) OnLanguageChanged();
}

void CBaseDlg::reject() {
  // Reached through the window manager's close button: the dialog's own close or Cancel button,
  // so that every question its handler asks is asked; without one (the main window), IDCANCEL.
  if (!m_nativeFrame) {
    if (QAbstractButton* button = EscapeButton(m_root)) {
      button->click();
      return;
    }
  }
  Close(IDCANCEL);
}

void CBaseDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_pendingClose != 0) {
    int code = m_pendingClose;
    m_pendingClose = 0;
    QMetaObject::invokeMethod(
        this, [this, code] { CloseNow(code); }, Qt::QueuedConnection);
  }
  if (!m_windowInitSent && m_root) {
    m_windowInitSent = true;
    // After the first paint cycle, like a window's first show.
    QMetaObject::invokeMethod(
        this, [this] { m_hub->SendNotify(m_root, kNotifyWindowInit); }, Qt::QueuedConnection);
  }
}

void CBaseDlg::mousePressEvent(QMouseEvent* event) {
  // A frameless window moves by its caption strip. A press outside the window is no drag: a
  // pop-up receives every press while it is open, and one outside it must close it.
  if (!m_nativeFrame && event->button() == Qt::LeftButton &&
      rect().contains(event->position().toPoint()) && event->position().y() < m_captionHeight) {
    if (QWindow* handle = windowHandle()) {
      handle->startSystemMove();
      event->accept();
      return;
    }
  }
  QDialog::mousePressEvent(event);
}
