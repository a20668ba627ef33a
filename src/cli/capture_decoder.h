#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

// Offline decoder for captures of device traffic: every UDP datagram to or from port 8500 is
// shown with its addresses, header fields, envelope kind and the decrypted XML document. Device
// key texts are learned from the discovery answers in the same capture (a first pass), so the
// requests sent to a device before or after its answer decode too.
class CCaptureDecoder {
public:
  // One UDP datagram taken out of a captured frame.
  struct Datagram {
    int frameNumber = 0;
    double seconds = 0;  // since the first frame of the capture
    uint8_t srcMac[6] = {};
    uint8_t dstMac[6] = {};
    std::string srcIp;
    std::string dstIp;
    int srcPort = 0;
    int dstPort = 0;
    std::vector<uint8_t> payload;  // the UDP payload, bounded by what was captured
  };

  // Reads the capture; false with a message in *error when the file cannot be opened or its link
  // type is not Ethernet (or Linux cooked capture).
  bool Load(const std::string& path, std::string* error);
  // Learns keys, then writes every datagram. Returns the number of device datagrams written.
  // A password inside a document (<Pwd>) is shown as "********" unless showPasswords.
  int Decode(std::ostream& out, bool showPasswords = false);

  const std::vector<Datagram>& Datagrams() const { return datagrams_; }

private:
  struct Plain {
    bool ok = false;
    std::string envelope;  // "plain", "bare" or "prefixed"
    std::string keyText;   // key text that decrypted it ("" for plain)
    std::string xml;
  };
  void LearnKeys();
  Plain Open(const Datagram& d, int payloadLength) const;
  std::vector<std::string> CandidateKeys(const Datagram& d) const;

  std::vector<Datagram> datagrams_;
  std::vector<std::string> learnedKeys_;  // MAC texts as the devices reported them
  std::set<std::string> learnedKeySet_;
  std::map<std::string, std::string> keyByMac_;  // 12 upper-case hex digits -> key text
};

// Name of a message ID ("MSG_DISCOVER") or "unknown".
const char* MessageIdName(int messageId);
