// The GUI test driver's commands in process: how controls are found, what replies look like,
// that actions run only after the reply, and that requests are served inside a modal dialog's
// exec() and inside a local event loop that excludes user input.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QListView>
#include <QLocalSocket>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

#include "command_registry.h"
#include "driver_server.h"
#include "wire_format.h"

namespace {

using guidriver::RunCommand;

// A model that gives its own dump, as the main list's model does.
class DumpingModel : public QStringListModel {
  Q_OBJECT
public:
  using QStringListModel::QStringListModel;
  Q_INVOKABLE QString DumpText() const { return QStringLiteral("1\tfirst\x1b\n2\tsecond\n"); }
};

class DriverCommands : public testing::Test {
protected:
  void SetUp() override {
    window.setObjectName(QStringLiteral("TestWnd"));
    auto* layout = new QVBoxLayout(&window);
    // Two buttons of one name, the first hidden with its container (as in the message box).
    auto* hiddenBox = new QWidget(&window);
    hiddenOk = new QPushButton(QStringLiteral("hidden"), hiddenBox);
    hiddenOk->setObjectName(QStringLiteral("btn_ok"));
    hiddenBox->hide();
    layout->addWidget(hiddenBox);
    shownOk = new QPushButton(QStringLiteral("OK"), &window);
    shownOk->setObjectName(QStringLiteral("btn_ok"));
    layout->addWidget(shownOk);
    auto* label = new QLabel(QStringLiteral("line1\nline2\x1b[31m"), &window);
    label->setObjectName(QStringLiteral("lab_text"));
    layout->addWidget(label);
    auto* plain = new QListView(&window);
    plain->setObjectName(QStringLiteral("list_plain"));
    auto* model = new QStandardItemModel(2, 2, plain);
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 2; ++c)
        model->setItem(r, c, new QStandardItem(QString("r%1c%2").arg(r).arg(c)));
    plain->setModel(model);
    layout->addWidget(plain);
    auto* dumped = new QListView(&window);
    dumped->setObjectName(QStringLiteral("list_dump"));
    dumped->setModel(new DumpingModel(QStringList{"a", "b"}, dumped));
    layout->addWidget(dumped);
    QObject::connect(hiddenOk, &QPushButton::clicked, [this] { ++hiddenClicks; });
    QObject::connect(shownOk, &QPushButton::clicked, [this] { ++shownClicks; });
    window.show();
  }

  static QString Reply(const QStringList& words) {
    guidriver::Reply reply = RunCommand(words);
    return (reply.ok ? QStringLiteral("ok") : QStringLiteral("error")) +
           (reply.text.isEmpty() ? QString() : QLatin1Char(' ') + reply.text);
  }

  QWidget window;
  QPushButton* hiddenOk = nullptr;
  QPushButton* shownOk = nullptr;
  int hiddenClicks = 0;
  int shownClicks = 0;
};

TEST_F(DriverCommands, QueriesFindControlsAndReplyOnOneLine) {
  struct Case {
    QStringList words;
    QString reply;
  } cases[] = {
      {{"text", "lab_text"}, "ok line1\\nline2\\x1b[31m"},
      {{"text", "btn_ok"}, "ok OK"},  // the visible one of the two
      {{"visible", "TestWnd/btn_ok"}, "ok 1"},
      {{"text", "no_such"}, "error no control no_such"},
      {{"text", "OtherWnd/btn_ok"}, "error no window OtherWnd"},
      {{"text", "QWidget/lab_text"}, "ok line1\\nline2\\x1b[31m"},  // window by class name
      {{"list", "list_plain"}, "ok r0c0\tr0c1\nr1c0\tr1c1"},
      {{"list", "list_dump"}, "ok 1\tfirst\\x1b\n2\tsecond"},
      {{"list", "lab_text"}, "error lab_text is no item view"},
      {{"current-row", "list_plain"}, "ok -1"},
      {{"checked", "btn_ok"}, "error btn_ok is not checkable"},
      {{"prop", "btn_ok", "tag"}, "ok 0"},
      {{"prop", "btn_ok", "text"}, "ok OK"},
      {{"prop", "btn_ok", "nonesuch"}, "error btn_ok has no property nonesuch"},
      {{"click"}, "error usage: click NAME"},
      {{"frobnicate"}, "error unknown command frobnicate"},
      {{"msgbox"}, "error none"},
      {{"row-click", "list_plain", "2"}, "error list_plain has no row 2"},
      {{"key", "btn_ok", "NoSuchKey"}, "error unknown key NoSuchKey"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Reply(c.words), c.reply) << c.words.join(' ').toStdString();
  }
}

TEST_F(DriverCommands, ActionsRunAfterTheReplyOnTheVisibleControl) {
  EXPECT_EQ(Reply({"click", "btn_ok"}), "ok");
  EXPECT_EQ(shownClicks, 0) << "the click must wait until the reply is out";
  guidriver::RunCommand({"click", "btn_ok"}).action();
  EXPECT_EQ(shownClicks, 1);
  EXPECT_EQ(hiddenClicks, 0);

  shownOk->setEnabled(false);
  EXPECT_EQ(Reply({"click", "btn_ok"}), "error disabled btn_ok");
}

TEST_F(DriverCommands, RowSelectMakesTheRowCurrent) {
  guidriver::RunCommand({"row-select", "list_plain", "1"}).action();
  EXPECT_EQ(Reply({"current-row", "list_plain"}), "ok 1");
}

// One request from another thread, as ips-gui-ctl sends it; the raw reply.
QString Ask(const QString& socketPath, const std::vector<std::string>& words) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(5000)) return QStringLiteral("<no connection>");
  socket.write(QByteArray::fromStdString(guidriver::EncodeRequest(words)));
  socket.waitForBytesWritten(5000);
  QByteArray reply;
  while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(5000)) {
    reply += socket.readAll();
  }
  reply += socket.readAll();
  return QString::fromUtf8(reply);
}

TEST_F(DriverCommands, ServesRequestsInsideModalAndInputExcludingLoops) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("gui.sock"));
  QString error;
  ASSERT_TRUE(guidriver::StartServer(path, &error)) << error.toStdString();

  // A local event loop that keeps user input out, as the program's waits do.
  QString inLoop;
  {
    QEventLoop loop;
    std::thread client([&] {
      inLoop = Ask(path, {"text", "lab_text"});
      QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    client.join();
  }
  EXPECT_EQ(inLoop, "ok line1\\nline2\\x1b[31m\n");

  // A modal dialog's exec(): its own button, clicked through the driver, ends it.
  QDialog modal(&window);
  modal.setObjectName(QStringLiteral("Modal"));
  auto* close = new QPushButton(QStringLiteral("Close"), &modal);
  close->setObjectName(QStringLiteral("btn_close"));
  QObject::connect(close, &QPushButton::clicked, &modal, &QDialog::accept);
  QString windows, clicked;
  std::thread client([&] {
    // Wait for the dialog, then click its button.
    for (int i = 0; i < 200 && !windows.startsWith("ok QDialog\tModal"); ++i) {
      windows = Ask(path, {"windows"});
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    clicked = Ask(path, {"click", "btn_close"});
  });
  QTimer::singleShot(10000, &modal, &QDialog::reject);
  EXPECT_EQ(modal.exec(), QDialog::Accepted);
  client.join();
  EXPECT_TRUE(windows.startsWith("ok QDialog\tModal\t\t1\nQWidget\tTestWnd\t"))
      << windows.toStdString();
  EXPECT_EQ(clicked, "ok\n");
}

}  // namespace

#include "driver_commands_test.moc"
