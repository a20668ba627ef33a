// The capture's error texts, as the capture relay really reports them, reach the window in the
// catalog's language; the English catalog keeps them exact.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <fstream>

#include "transport/capture_relay.h"
#include "transport/mac_proto_control.h"
#include "ui/framework/capture_error_text.h"
#include "ui/framework/translate_manager.h"

namespace {

bool LoadCatalog(const char* file) {
  return CTranslateManager::GetInstance()->LoadLanguage(QCoreApplication::applicationDirPath() +
                                                        "/Language/" + file);
}

// What the window is handed when the helper for adapter veth-x fails as `helper` makes it.
std::string AdapterErrorWith(const std::string& helper) {
  std::string error;
  EXPECT_EQ(CCaptureRelay::Start(helper, "veth-x", CaptureTraffic::kDeviceProtocol, &error),
            nullptr);
  return "cannot open network adapter veth-x: " + error;
}

TEST(CaptureErrorText, TheRelaysTextsShowInTheCatalogsLanguage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string missing = dir.path().toStdString() + "/ipscanner-capture";
  // Not executable for us, as the installed helper (root:ipscanner 0750) is for a user outside
  // the group.
  const std::string locked = dir.path().toStdString() + "/locked-capture";
  std::ofstream(locked) << "#!/bin/sh\n";
  ASSERT_EQ(chmod(locked.c_str(), 0644), 0);
  // The message names the file's group, as the package sets it; root's group stands for it.
  struct stat info {};
  ASSERT_EQ(stat(locked.c_str(), &info), 0);
  const group* owner = info.st_gid == 0 ? nullptr : getgrgid(info.st_gid);
  const QString group = owner != nullptr ? QString::fromUtf8(owner->gr_name) : "ipscanner";

  struct Case {
    std::string text;
    QString german;
  };
  const QString adapter = QStringLiteral("Netzwerkadapter veth-x kann nicht geöffnet werden: ");
  const std::vector<Case> cases = {
      {AdapterErrorWith(locked),
       adapter + "Für die Paketaufzeichnung ist die Mitgliedschaft in der Gruppe " + group +
           " nötig: Führen Sie sudo usermod -aG " + group +
           " $USER aus und melden Sie sich dann neu an."},
      {AdapterErrorWith(missing),
       adapter + "Das Aufzeichnungsprogramm " + QString::fromStdString(missing) + " fehlt."},
      {AdapterErrorWith("/bin/true"),
       adapter + "Das Aufzeichnungsprogramm /bin/true hat sich beendet, ohne die "
                 "Paketaufzeichnung zu öffnen."},
      // A reason of the capture library stays as it is; an adapter named "%1" stays its name.
      {"cannot open network adapter %1: socket: Operation not permitted",
       "Netzwerkadapter %1 kann nicht geöffnet werden: socket: Operation not permitted"},
      {kNoAdapterPromptText,
       "Kein Netzwerkadapter gefunden. Bitte installieren Sie zuerst die Paketaufzeichnung "
       "(libpcap)."},
  };

  ASSERT_TRUE(LoadCatalog("Deutsch.txt"));
  for (const Case& c : cases) EXPECT_EQ(TranslateCaptureError(c.text), c.german) << c.text;
  ASSERT_TRUE(LoadCatalog("Français.txt"));
  EXPECT_EQ(TranslateCaptureError(cases[0].text),
            "Impossible d'ouvrir la carte réseau veth-x : La capture exige d'appartenir au groupe " +
                group + " : exécutez sudo usermod -aG " + group + " $USER, puis reconnectez-vous.");
  ASSERT_TRUE(LoadCatalog("English.txt"));
  EXPECT_EQ(QString::fromStdString(cases[0].text),
            "cannot open network adapter veth-x: capturing needs membership in the group " + group +
                ": run sudo usermod -aG " + group + " $USER, then log in again");
  for (const Case& c : cases) EXPECT_EQ(TranslateCaptureError(c.text).toStdString(), c.text);
}

}  // namespace
