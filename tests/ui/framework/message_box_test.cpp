// The message box as users meet it: button sets, close codes, keys that must do nothing, the
// mask over the parent, the alignment rule for long texts and the test hook.

#include "ui/framework/message_box.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <ostream>
#include <string>

#include "test_layouts.h"
#include "ui/framework/mask_panel_wnd.h"
#include "ui/support/ui_driver.h"

using namespace uitest;

namespace {

struct ButtonCase {
  int buttons;
  const char* visibleLayout;
  const char* click;
  int expected;
};

void PrintTo(const ButtonCase& c, std::ostream* os) {
  *os << "set " << c.buttons << " " << c.click;
}

class MessageBoxButtons : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(MessageBoxButtons, ShowsItsSetAndEndsWithTheButtonsCode) {
  const ButtonCase c = GetParam();
  QStringList visible;
  WhenModalShown([&](QWidget* box) {
    for (const char* name : {"layout_ok", "layout_ok_cancel", "layout_yes_no"}) {
      QWidget* w = box->findChild<QWidget*>(name);
      if (w && w->isVisible()) visible << name;
    }
    EXPECT_TRUE(ClickControl(box, c.click)) << c.click;
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "IP Scanner", "Question?", c.buttons), c.expected);
  EXPECT_EQ(visible, QStringList{c.visibleLayout});
}

INSTANTIATE_TEST_SUITE_P(
    Sets, MessageBoxButtons,
    ::testing::Values(ButtonCase{MB_OK, "layout_ok", "btn_ok", IDOK},
                      ButtonCase{MB_OK, "layout_ok", "closebtn", IDCANCEL},
                      ButtonCase{MB_OKCANCEL, "layout_ok_cancel", "btn_ok", IDOK},
                      ButtonCase{MB_OKCANCEL, "layout_ok_cancel", "btn_cancel", IDCANCEL},
                      ButtonCase{MB_YESNO, "layout_yes_no", "btn_yes", IDYES},
                      ButtonCase{MB_YESNO, "layout_yes_no", "btn_no", IDNO},
                      ButtonCase{MB_YESNO, "layout_yes_no", "closebtn", IDCANCEL}),
    [](const ::testing::TestParamInfo<ButtonCase>& info) {
      return "Set" + std::to_string(info.param.buttons) + "_" + info.param.click;
    });

TEST(MessageBox, UnknownButtonSetKeepsTheLayoutsDefault) {
  QStringList visible;
  WhenModalShown([&](QWidget* box) {
    for (const char* name : {"layout_ok", "layout_ok_cancel", "layout_yes_no"}) {
      QWidget* w = box->findChild<QWidget*>(name);
      if (w && w->isVisible()) visible << name;
    }
    ClickControl(box, "btn_ok");
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "t", "Default buttons", 2), IDOK);
  EXPECT_EQ(visible, QStringList{"layout_ok"});
}

TEST(MessageBox, ShowsTitleAndText) {
  QString title, text;
  WhenModalShown([&](QWidget* box) {
    title = ReadLabel(box, "label_title");
    text = ReadLabel(box, "label_msg");
    ClickControl(box, "btn_ok");
  });
  ShowMessageBox(nullptr, "Confirmation", "Failed to modify language.", MB_OK);
  EXPECT_EQ(title, "Confirmation");
  EXPECT_EQ(text, "Failed to modify language.");
}

// Left alignment starts at 450 pixels of text in the font the message is drawn with (the skin
// gives the message label a larger font than the window's).
TEST(MessageBox, LongTextIsLeftAlignedShortTextKeepsTheLayoutsAlignment) {
  QWidget probe;
  MessageBoxDlg sizing(nullptr, "", "", MB_OK);
  ASSERT_TRUE(sizing.Create());
  QLabel* label = sizing.FindControl<QLabel>("label_msg");
  ASSERT_NE(label, nullptr);
  label->ensurePolished();
  const QFontMetrics metrics(label->font());
  QString shortText, longText;
  for (QString s = "i";; s += (s.size() % 2 ? "m" : "i")) {
    if (metrics.horizontalAdvance(s) < MessageBoxDlg::kLeftAlignWidth)
      shortText = s;
    else {
      longText = s;
      break;
    }
  }
  for (const QString& text : {shortText, longText}) {
    Qt::Alignment alignment;
    int labelWidth = 0;
    WhenModalShown([&](QWidget* box) {
      auto* shown = box->findChild<QLabel*>("label_msg");
      alignment = shown->alignment();
      labelWidth = shown->contentsRect().width();
      ClickControl(box, "btn_ok");
    });
    ShowMessageBox(nullptr, "t", text, MB_OK);
    const bool left = (alignment & Qt::AlignHorizontal_Mask) == Qt::AlignLeft;
    EXPECT_EQ(left, text == longText)
        << text.size() << " characters, " << metrics.horizontalAdvance(text) << " px";
    // A text that stays centred fits on one line: it never wraps into a ragged centred block.
    EXPECT_GE(labelWidth, MessageBoxDlg::kLeftAlignWidth);
  }
}

TEST(MessageBox, MaskDisablesTheParentWhileShownAndRestoresItsState) {
  for (bool parentEnabled : {true, false}) {
    QWidget parent;
    parent.resize(400, 300);
    parent.setEnabled(parentEnabled);
    parent.show();
    bool enabledDuring = true;
    bool maskShown = false;
    WhenModalShown([&](QWidget* box) {
      enabledDuring = parent.isEnabled();
      QWidget* mask = parent.findChild<QWidget*>("MaskPanel");
      maskShown = mask && mask->isVisible() && mask->geometry() == parent.rect();
      EXPECT_TRUE(box->isEnabled());
      ClickControl(box, "btn_ok");
    });
    EXPECT_EQ(ShowMessageBox(&parent, "t", "Masked", MB_OK), IDOK);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(maskShown);
    EXPECT_EQ(parent.isEnabled(), parentEnabled);
    EXPECT_EQ(parent.findChild<QWidget*>("MaskPanel"), nullptr);
  }
}

// A flow of several dialogs under one mask: the dialogs run without their own mask and leave the
// covered window disabled until the flow's mask goes.
class CUnmaskedDlg : public CBaseDlg {
public:
  explicit CUnmaskedDlg(QWidget* parent) : CBaseDlg(QString(), parent, false) {}

protected:
  QString GetLayoutFileName() const override { return "MessageBox.xml"; }
};

TEST(Mask, DialogsOfAFlowKeepTheFlowsMask) {
  QWidget parent;
  parent.resize(400, 300);
  parent.show();
  {
    CMaskPanelWnd mask(&parent);
    ASSERT_EQ(mask.ShowMask(true), 1);
    for (int i = 0; i < 2; ++i) {
      CUnmaskedDlg step(&parent);
      WhenModalShown([](QWidget* w) { ClickControl(w, "closebtn"); });
      EXPECT_EQ(step.DoModal(), IDCANCEL);
      EXPECT_FALSE(parent.isEnabled()) << "step " << i;
    }
  }
  EXPECT_TRUE(parent.isEnabled());
  CMaskPanelWnd none(nullptr);  // no owner: nothing to cover
  EXPECT_EQ(none.ShowMask(true), 0);
}

TEST(Mask, RestoresAMinimisedParentBeforeCoveringIt) {
  QWidget parent;
  parent.resize(400, 300);
  parent.showMinimized();
  ASSERT_TRUE(parent.isMinimized());
  bool minimisedDuring = true;
  WhenModalShown([&](QWidget* box) {
    minimisedDuring = parent.isMinimized();
    ClickControl(box, "btn_ok");
  });
  ShowMessageBox(&parent, "t", "Over a minimised window", MB_OK);
  EXPECT_FALSE(minimisedDuring);
}

TEST(Mask, AMaximisedWindowMinimisedComesBackMaximised) {
  QWidget parent;
  parent.resize(400, 300);
  parent.showMaximized();
  parent.showMinimized();
  ASSERT_TRUE(parent.isMinimized());
  bool maximisedDuring = false;
  WhenModalShown([&](QWidget* box) {
    maximisedDuring = parent.isMaximized() && !parent.isMinimized();
    ClickControl(box, "btn_ok");
  });
  ShowMessageBox(&parent, "t", "Over a minimised maximised window", MB_OK);
  EXPECT_TRUE(maximisedDuring);
}

// A skin that lacks the optional controls (title, text, button rows) still gives a working box.
class CBareMessageBox : public MessageBoxDlg {
public:
  explicit CBareMessageBox(QString layout)
      : MessageBoxDlg(nullptr, "Title", "Text", MB_YESNO), m_layout(std::move(layout)) {}

protected:
  QString GetLayoutFileName() const override { return m_layout; }

private:
  QString m_layout;
};

TEST(MessageBox, MissingOptionalControlsAreSkipped) {
  TestLayouts layouts;
  const QString bare = layouts.Write("Bare.xml", R"(
 <widget class="QWidget" name="MessageBox">
  <layout class="QVBoxLayout" name="vbox">
   <item><widget class="QPushButton" name="closebtn"/></item>
   <item><widget class="QWidget" name="layout_ok"/></item>
  </layout>
 </widget>)");
  CBareMessageBox box(bare);
  bool okRowShown = true;
  WhenModalShown([&](QWidget* w) {
    okRowShown = w->findChild<QWidget*>("layout_ok")->isVisible();
    ClickControl(w, "closebtn");
  });
  EXPECT_EQ(box.DoModal(), IDCANCEL);
  EXPECT_FALSE(okRowShown);  // the yes/no set hides the other rows that exist
}

TEST(MessageBox, HookAnswersWithoutAWindow) {
  MessageBoxAnswers boxes;
  boxes.Queue(IDYES, "reboot");
  boxes.Queue(IDOK);
  EXPECT_EQ(ShowMessageBox(nullptr, "IP Scanner", "Do you want to reboot the device?", MB_YESNO),
            IDYES);
  EXPECT_EQ(ShowMessageBox(nullptr, "ERROR", "CommUdp Socket create failed.", MB_OK), IDOK);
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[1].title, "ERROR");
  EXPECT_EQ(boxes.Shown()[0].buttons, MB_YESNO);
}

}  // namespace
