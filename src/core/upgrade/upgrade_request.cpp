#include "core/upgrade/upgrade_request.h"

#include <cctype>
#include <cstring>

#include "core/control/control_outbound_hooks.h"
#include "protocol/msg_facade.h"
#include "protocol/msg_handle.h"
#include "protocol/packet_record.h"
#include "protocol/text_field.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "transport/udp_frame.h"

namespace {

// Fields take a text only when it fits whole, terminator included.
template <size_t N>
void CopyIfShorter(const std::string& text, char16_t (&field)[N]) {
  const std::u16string wide = CGlobalUtils::ToWide(text);
  if (wide.size() < N) std::memcpy(field, wide.data(), wide.size() * sizeof(char16_t));
}

}  // namespace

std::string UpgradeImageUrl(const std::string& host, const std::string& imageName) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(imageName.size() * 3);
  for (const unsigned char c : imageName) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    }
  }
  return CGlobalUtils::FirmwareUrl(host, encoded);
}

bool UpgradeUrlFits(const std::string& host, const std::string& imageName) {
  return CGlobalUtils::ToWide(UpgradeImageUrl(host, imageName)).size() <= kMaxUpgradeUrlChars;
}

std::string ImageVersion(const std::string& imageName) {
  const size_t slash = imageName.find_last_of("\\/");
  const std::string fileName = slash == std::string::npos ? imageName : imageName.substr(slash + 1);
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? std::string() : fileName.substr(0, dot);
}

std::string GetUpgradeHost() {
  const std::string setting = CGlobalUtils::ReadIpSetting(260);
  if (!setting.empty()) {
    for (const std::string& piece : CGlobalUtils::SplitIpSetting(setting)) {
      if (!piece.empty()) return piece;
    }
  }
  const std::vector<AdapterEntry> adapters = CGlobalUtils::GetAdapters();
  if (!adapters.empty() && !adapters.front().ipAddresses.empty())
    return adapters.front().ipAddresses.front();
  return CGlobalUtils::GetLocalIP();
}

UPGRADE_SEND_T MakeUpgradeRequest(const std::string& host, const std::string& imageName) {
  UPGRADE_SEND_T request;
  std::memset(&request, 0, sizeof(request));
  Utf8ToField(kProtocolVersion, request.szProtocal);
  CopyIfShorter(UpgradeImageUrl(host, imageName), request.szFirmwareUrl);
  CopyIfShorter(ImageVersion(imageName), request.szFirmwareVer);
  return request;
}

const std::string& UpgradeDestinationMac(const DEVICE_ENTRY_T& device) {
  return device.workMac.empty() ? device.mac : device.workMac;
}

bool SendUpgradeMsg(const DEVICE_ENTRY_T& device, const std::string& host,
                    const std::string& imageName) {
  if (!UpgradeUrlFits(host, imageName)) {
    LogError("%s:The image's address is too long for the request.", "SendUpgradeMsg");
    return false;
  }
  const UPGRADE_SEND_T request = MakeUpgradeRequest(host, imageName);
  PACKET_RECORD_T packet;
  std::memset(&packet, 0, sizeof(packet));
  if (CMsgFacade::GetInstance()->BuildUpgradeSendMsg(&packet, &request, device.mac, kEncTypeBare) <
      0) {
    LogError("%s:Building UpgradeSendMsg failed.", "CUpgradeDlg::SendUpgradeMsg");
    return false;
  }
  // The MAC text goes through a 20-byte buffer as 12 hexadecimal digits.
  char macText[20] = {};
  std::strncpy(macText, UpgradeDestinationMac(device).c_str(), sizeof(macText) - 1);
  CGlobalUtils::MacTextToBytes(macText, packet.mac);
  CGlobalUtils::Utf8ToWide(device.ip.c_str(), packet.szIP, kPacketIpChars);
  packet.nPort = kDevicePort;
  return SendOutbound(&packet) == 0;
}
