#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

#include "core/batch/batch_static_run.h"

// One row of the batch static IP progress: the device, its status (0 configuring, 2 success,
// 3 failure) and why it failed, with the texts the row shows.
class CSetStaticIPDetailItem {
public:
  explicit CSetStaticIPDetailItem(const DEVICE_ENTRY_T& device);

  const DEVICE_ENTRY_T& Device() const { return m_device; }
  int GetStatus() const { return m_status; }
  BatchFailure GetFailure() const { return m_failure; }
  bool IsFinished() const { return m_status != kBatchConfiguring; }
  void SetStatus(int status, BatchFailure failure);

  const QString& IpText() const { return m_ipText; }
  const QString& MacText() const { return m_macText; }
  const QString& ModelText() const { return m_modelText; }
  // The status in the catalog's language.
  QString StatusText() const;

private:
  int m_status = kBatchConfiguring;
  BatchFailure m_failure = BatchFailure::kNone;
  DEVICE_ENTRY_T m_device;
  QString m_ipText, m_macText, m_modelText;
};

// The rows of the progress list, one per chosen device in the order chosen; they never move.
class CSetStaticIPDetailModel : public QAbstractListModel {
  Q_OBJECT
public:
  enum Part { kIp, kMac, kModel, kStatus, kPartCount };
  static QStringList PartNames();

  CSetStaticIPDetailModel(const std::vector<DEVICE_ENTRY_T>& devices, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  int Count() const { return static_cast<int>(m_rows.size()); }
  const CSetStaticIPDetailItem* RowAt(int row) const;
  void SetStatus(int row, int status, BatchFailure failure);

  // One line per row, tab-separated: status (English), IP, MAC, model, failure reason.
  Q_INVOKABLE QString DumpText() const;

private:
  std::vector<CSetStaticIPDetailItem> m_rows;
};
