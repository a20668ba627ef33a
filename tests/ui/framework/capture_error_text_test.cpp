// The capture's failures reach the window in the catalog's language: every kind has its words in
// every shipped catalog, the parts (adapter, helper, group) are filled in as they are, and the
// English catalog gives exactly the command line's text.

#include "ui/framework/capture_error_text.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <fstream>

#include "transport/capture_relay.h"
#include "ui/framework/translate_manager.h"

namespace {

QString CatalogPath(const char* file) {
  return QCoreApplication::applicationDirPath() + "/Language/" + file;
}

bool LoadCatalog(const char* file) {
  return CTranslateManager::GetInstance()->LoadLanguage(CatalogPath(file));
}

// What the window is handed when the helper for adapter veth-x fails as `helper` makes it.
CaptureFailure AdapterFailureWith(const std::string& helper) {
  CaptureFailure failure;
  EXPECT_EQ(CCaptureRelay::Start(helper, "veth-x", CaptureTraffic::kDeviceProtocol, &failure),
            nullptr);
  return failure;
}

TEST(CaptureErrorText, TheRelaysFailuresShowInTheCatalogsLanguage) {
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

  // A reason of the capture library stays as it is; an adapter named "%1" stays its name.
  CaptureFailure library;
  library.kind = CaptureFailureKind::kOpenRefused;
  library.adapter = "%1";
  library.openError = CaptureOpenError::kOther;
  library.detail = "socket: Operation not permitted";
  CaptureFailure none;
  none.kind = CaptureFailureKind::kNoAdapter;

  struct Case {
    CaptureFailure failure;
    QString german;
  };
  const QString adapter = QStringLiteral("Netzwerkadapter veth-x kann nicht geöffnet werden: ");
  const std::vector<Case> cases = {
      {AdapterFailureWith(locked),
       adapter + "Für die Paketaufzeichnung ist die Mitgliedschaft in der Gruppe " + group +
           " nötig: Führen Sie sudo usermod -aG " + group +
           " $USER aus und melden Sie sich dann neu an."},
      {AdapterFailureWith(missing),
       adapter + "Das Aufzeichnungsprogramm " + QString::fromStdString(missing) + " fehlt."},
      {AdapterFailureWith("/bin/true"),
       adapter + "Das Aufzeichnungsprogramm /bin/true hat sich beendet, ohne die "
                 "Paketaufzeichnung zu öffnen."},
      {library, "Netzwerkadapter %1 kann nicht geöffnet werden: socket: Operation not permitted"},
      {none,
       "Kein Netzwerkadapter gefunden. Bitte installieren Sie zuerst die Paketaufzeichnung "
       "(libpcap)."},
  };

  ASSERT_TRUE(LoadCatalog("Deutsch.txt"));
  for (const Case& c : cases)
    EXPECT_EQ(CaptureFailureMessage(c.failure), c.german) << CaptureFailureText(c.failure);
  ASSERT_TRUE(LoadCatalog("Français.txt"));
  EXPECT_EQ(
      CaptureFailureMessage(cases[0].failure),
      "Impossible d'ouvrir la carte réseau veth-x : La capture exige d'appartenir au groupe " +
          group + " : exécutez sudo usermod -aG " + group + " $USER, puis reconnectez-vous.");
  ASSERT_TRUE(LoadCatalog("English.txt"));
  EXPECT_EQ(QString::fromStdString(CaptureFailureText(cases[0].failure)),
            "cannot open network adapter veth-x: capturing needs membership in the group " + group +
                ": run sudo usermod -aG " + group + " $USER, then log in again");
  for (const Case& c : cases)
    EXPECT_EQ(CaptureFailureMessage(c.failure).toStdString(), CaptureFailureText(c.failure));
}

// Every kind, with each interface fault and each refusal of the capture library, in every
// shipped catalog: its words are the catalog's (none falls back to English), its parts are in
// them, and English reads as the command line does.
TEST(CaptureErrorText, EveryKindIsWordedByEveryCatalog) {
  std::vector<CaptureFailure> failures;
  for (int k = 1; k <= static_cast<int>(kLastCaptureFailureKind); ++k) {
    CaptureFailure f;
    f.kind = static_cast<CaptureFailureKind>(k);
    f.adapter = "veth-q7";
    f.helper = "/opt/h/ipscanner-capture";
    f.group = "capgrp";
    f.detail = "Exec format error";
    if (f.kind == CaptureFailureKind::kInterfaceUnusable ||
        f.kind == CaptureFailureKind::kSettingUnusable) {
      for (InterfaceFault fault :
           {InterfaceFault::kNone, InterfaceFault::kMissing, InterfaceFault::kLoopback,
            InterfaceFault::kDown, InterfaceFault::kNoIpv4}) {
        f.interfaceFault = fault;
        failures.push_back(f);
      }
    } else if (f.kind == CaptureFailureKind::kOpenRefused) {
      for (CaptureOpenError error :
           {CaptureOpenError::kNoRights, CaptureOpenError::kNotUp, CaptureOpenError::kNoSuchDevice,
            CaptureOpenError::kNotEthernet, CaptureOpenError::kLoopback}) {
        f.openError = error;
        failures.push_back(f);
      }
    } else {
      failures.push_back(f);
    }
  }

  for (const char* file : {"English.txt", "Deutsch.txt", "Français.txt"}) {
    QFile catalogFile(CatalogPath(file));
    ASSERT_TRUE(catalogFile.open(QIODevice::ReadOnly)) << file;
    QHash<QString, QString> catalog;
    CTranslateManager::ParseCatalog(catalogFile.readAll(), &catalog);
    ASSERT_TRUE(LoadCatalog(file));
    const bool english = std::string(file) == "English.txt";
    for (const CaptureFailure& f : failures) {
      const std::string englishText = CaptureFailureText(f);
      const CaptureFailureWords words = CaptureFailureWordsOf(f);
      ASSERT_NE(words.key, nullptr) << englishText;
      EXPECT_FALSE(catalog.value(QString::fromUtf8(words.key)).isEmpty())
          << file << " lacks: " << words.key;
      if (CaptureFailureNamesAdapter(f)) {
        EXPECT_FALSE(catalog.value(kCaptureOpenAdapterKey).isEmpty()) << file;
      }
      const QString message = CaptureFailureMessage(f);
      for (const std::string& part : words.parts) {
        EXPECT_TRUE(message.contains(QString::fromStdString(part)))
            << file << ": " << message.toStdString() << " lacks " << part;
      }
      EXPECT_FALSE(message.contains('%')) << file << ": " << message.toStdString();
      if (english) {
        EXPECT_EQ(message.toStdString(), englishText);
      } else {
        EXPECT_NE(message.toStdString(), englishText) << file;
      }
    }
  }
}

}  // namespace
