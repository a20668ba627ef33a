#pragma once

// CMaskPanelWnd: the dimming mask laid over a window while a modal dialog runs on it. It covers
// the owner window exactly (and follows its size), disables the owner and, when it goes away,
// gives the owner back its former enabled state and the keyboard focus. Its look comes from
// skin/MaskPanel.xml.
//
//   CMaskPanelWnd mask(mainWindow);   // a flow of several dialogs over one mask:
//   mask.ShowMask(true);
//   CSetStaticIPDlg first(mainWindow, /*useMask=*/false); first.DoModal();
//   CSetStaticIPDetailDlg second(mainWindow, false); second.DoModal();
//   // mask removed here

#include <QObject>
#include <QPointer>
#include <QWidget>

class CMaskPanelWnd : public QObject {
  Q_OBJECT
public:
  explicit CMaskPanelWnd(QWidget* owner);
  ~CMaskPanelWnd() override;

  // show = true: restores a minimised owner, creates the mask (disabling the owner) and lays it
  // over the owner; returns 0 when there is no owner. show = false: hides the mask.
  int ShowMask(bool show);

  QWidget* GetOwner() const { return m_owner; }
  QWidget* GetMaskWidget() const { return m_mask; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QPointer<QWidget> m_owner;
  QPointer<QWidget> m_mask;
  bool m_ownerWasEnabled = true;
};
