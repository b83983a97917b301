// The module's answers to Read Device Identification (function 43, MEI type
// 14): objects given on the command line, read by category as a stream
// (basic, regular, extended, each including those below it) or one at a
// time, split over several answers when they do not fit one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tcpmodbus::sim {

class DeviceIdentification {
 public:
  // The object of the basic category, which every module has, with these
  // values until Set replaces them.
  DeviceIdentification(const std::string& vendorName,
                       const std::string& productCode,
                       const std::string& revision);

  // "NAME=VALUE", NAME being an object's name (VendorName, ProductCode,
  // MajorMinorRevision, VendorUrl, ProductName, ModelName,
  // UserApplicationName) or an object id (0 to 6, or 0x80 to 0xFF for the
  // extended category); false when it is not that or VALUE is too long for
  // an answer.
  bool Set(const std::string& assignment);
  // 0x01 to 0x03 (stream access only) or 0x81 to 0x83 (stream and single
  // objects); false for any other. Unset, it follows from the objects given:
  // the highest category that has one, with single objects.
  bool SetConformity(int level);
  // At most `count` objects in one answer (1 to 255), as a module with a
  // small buffer sends.
  void SetObjectsPerAnswer(int count) { perAnswer_ = count; }

  // The answer PDU (function code first) to a request PDU of `length`
  // bytes: the objects asked for, or an exception answer.
  std::vector<std::uint8_t> Answer(const std::uint8_t* pdu,
                                   std::size_t length) const;

 private:
  int Conformity() const;
  std::vector<std::uint8_t> Objects(int code, int conformity,
                                    int firstId) const;

  std::map<int, std::string> objects_;  // by object id, in order
  int conformity_ = 0;                  // 0: from the objects
  int perAnswer_ = 255;
};

}  // namespace tcpmodbus::sim
