// The discovery datagrams byte for byte and the answer reader on good, odd and hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "network/BaseStationRecord.h"
#include "network/DiscoveryProtocol.h"

namespace qelta::network {
namespace {

using Bytes = std::vector<uint8_t>;

const MacAddress kMac = {0x00, 0x40, 0x9D, 0x2A, 0x79, 0x06};

Bytes Answer(std::initializer_list<uint8_t> fields, const char* magic = "DIGI") {
  Bytes d(magic, magic + 4);
  d.insert(d.end(), {0x00, 0x02, 0x00, 0x00});
  d.insert(d.end(), fields);
  d[6] = static_cast<uint8_t>((d.size() - 8) >> 8);
  d[7] = static_cast<uint8_t>(d.size() - 8);
  return d;
}

// Parses a heap copy of exactly the datagram's size, so that any read past its end is caught by
// the address sanitizer.
bool Parse(DiscoveryResponse& r, const Bytes& d) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[d.size() + (d.empty() ? 1 : 0)]);
  if (!d.empty()) std::memcpy(copy.get(), d.data(), d.size());
  return ParseDiscoveryResponse(r, copy.get(), d.size());
}

TEST(DiscoveryRequests, AreByteExact) {
  const auto q = MakeDiscoveryRequest();
  EXPECT_EQ(Bytes(q.begin(), q.end()),
            (Bytes{'D', 'I', 'G', 'I', 0, 1, 0, 6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

  const auto s = MakeStaticAddressRequest(0x0A000007, 0xFFFFFF00, 0x0A000001, kMac);
  EXPECT_EQ(Bytes(s.begin(), s.end()),
            (Bytes{'D', 'I', 'G', 'I', 0,    3,    0,    0x17, 10,   0,    0, 7,   255, 255, 255, 0,
                   10,  0,   0,   1,   0x00, 0x40, 0x9D, 0x2A, 0x79, 0x06, 4, 'k', 'q', 'z', 'v'}));

  const auto h = MakeDhcpRequest(kMac);
  EXPECT_EQ(Bytes(h.begin(), h.end()),
            (Bytes{'D',  'I',  'G',  'I',  0,    7, 0,   0x0C, 1,   0x00,
                   0x40, 0x9D, 0x2A, 0x79, 0x06, 4, 'k', 'q',  'z', 'v'}));

  const auto r = MakeRebootRequest(kMac);
  EXPECT_EQ(Bytes(r.begin(), r.end()), (Bytes{'D', 'I', 'G', 'I', 0, 5, 0, 0x0B, 0x00, 0x40, 0x9D,
                                              0x2A, 0x79, 0x06, 4, 'k', 'q', 'z', 'v'}));
}

TEST(ParseDiscoveryResponse, ReadsEveryTaggedField) {
  DiscoveryResponse r;
  ASSERT_TRUE(Parse(r, Answer({1,  6, 0x00, 0x40, 0x9D, 0x2A, 0x79, 0x06,  // MAC
                               2,  4, 10,   0,    0,    7,                 // address: ignored
                               3,  4, 255,  255,  255,  0,                 // mask
                               4,  3, 'B',  'S',  '1',                     // name
                               99, 2, 0xAA, 0xBB,                          // unknown: skipped
                               11, 4, 10,   0,    0,    1,                 // gateway
                               16, 1, 1})));                               // DHCP
  EXPECT_TRUE(r.macValid);
  EXPECT_EQ(r.mac, kMac);
  EXPECT_TRUE(r.maskValid);
  EXPECT_EQ(r.mask, 0xFFFFFF00u);
  EXPECT_STREQ(r.name, "BS1");
  EXPECT_TRUE(r.gatewayValid);
  EXPECT_EQ(r.gateway, 0x0A000001u);
  EXPECT_EQ(r.dhcp, 1);
  EXPECT_EQ(r.address, 0u) << "the address comes from the sender, not the datagram";
}

TEST(ParseDiscoveryResponse, MagicInAnyCaseAndFixedSizesIgnoreTheLengthByte) {
  for (const char* magic : {"digi", "Digi", "dIgI"}) {
    DiscoveryResponse r;
    // The MAC's length byte says 2, but the field always takes 8 bytes.
    EXPECT_TRUE(Parse(r, Answer({1, 2, 1, 2, 3, 4, 5, 6, 16, 0, 7}, magic))) << magic;
    EXPECT_EQ(r.mac, (MacAddress{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(r.dhcp, 7);
  }
}

TEST(ParseDiscoveryResponse, LongNameIsCutAndLaterFieldsStillRead) {
  std::vector<uint8_t> fields = {4, 80};
  for (int i = 0; i < 80; ++i) fields.push_back(static_cast<uint8_t>('a' + i % 26));
  fields.insert(fields.end(), {16, 1, 1, 3, 4, 255, 0, 0, 0});
  Bytes d = Answer({});
  d.insert(d.end(), fields.begin(), fields.end());
  d[7] = static_cast<uint8_t>(d.size() - 8);
  DiscoveryResponse r;
  ASSERT_TRUE(Parse(r, d));
  EXPECT_EQ(std::strlen(r.name), 64u);
  EXPECT_EQ(r.name[63], 'a' + 63 % 26);
  EXPECT_EQ(r.dhcp, 1);
  EXPECT_EQ(r.mask, 0xFF000000u);
}

TEST(ParseDiscoveryResponse, MissingMacLeavesItInvalidAndZero) {
  DiscoveryResponse r;
  r.macValid = 1;
  r.mac = kMac;
  ASSERT_TRUE(Parse(r, Answer({4, 2, 'x', 'y'})));
  EXPECT_FALSE(r.macValid);
  EXPECT_EQ(r.mac, MacAddress{});
  EXPECT_STREQ(r.name, "xy");
}

TEST(ParseDiscoveryResponse, RejectedDatagramsLeaveAnEmptyResponse) {
  Bytes declaresTooMuch = Answer({4, 2, 'x', 'y'});
  declaresTooMuch[7] += 1;
  Bytes badMagic = Answer({4, 2, 'x', 'y'}, "DIGX");
  const Bytes cases[] = {
      {}, {'D', 'I', 'G'}, {'D', 'I', 'G', 'I', 0, 2, 0, 0}, declaresTooMuch, badMagic};
  for (const Bytes& d : cases) {
    DiscoveryResponse r;
    r.macValid = r.maskValid = r.gatewayValid = r.dhcp = 1;
    std::strcpy(r.name, "stale");
    EXPECT_FALSE(Parse(r, d)) << d.size();
    EXPECT_FALSE(r.macValid || r.maskValid || r.gatewayValid || r.dhcp);
    EXPECT_STREQ(r.name, "");
  }
}

TEST(ParseDiscoveryResponse, FieldsReachingPastTheEndAreNotRead) {
  DiscoveryResponse r;
  // A name whose length runs past the payload is skipped, not copied.
  EXPECT_TRUE(Parse(r, Answer({16, 1, 1, 4, 200, 'c', 'u', 't'})));
  EXPECT_STREQ(r.name, "");
  EXPECT_EQ(r.dhcp, 1);

  // A MAC, mask, gateway or DHCP field cut off by the end of the datagram is ignored.
  for (uint8_t tag : {1, 3, 11, 16}) {
    Bytes d = Answer({tag, 6});
    EXPECT_TRUE(Parse(r, d));
    EXPECT_FALSE(r.macValid || r.maskValid || r.gatewayValid || r.dhcp) << int(tag);
  }
  // A last byte that is only a tag, with no length byte.
  EXPECT_TRUE(Parse(r, Answer({16, 1, 1, 4})));
  EXPECT_EQ(r.dhcp, 1);
}

TEST(BaseStationRecordText, MacAndAddressFormats) {
  EXPECT_EQ(FormatMac(kMac), "00-40-9D-2A-79-06");
  EXPECT_EQ(FormatMac(static_cast<const uint8_t*>(nullptr)), "(null)");
  uint32_t a = 0;
  ASSERT_TRUE(TextToAddress("169.254.10.20", a));
  EXPECT_EQ(FirstOctet(a), 169);
  EXPECT_EQ(AddressToText(a), "169.254.10.20");
  EXPECT_FALSE(TextToAddress("10.0.0", a));

  DiscoveryResponse r;
  r.address = a;
  r.gateway = 0x0A000001;  // flag clear: not copied
  r.maskValid = 1;
  r.mask = 0xFFFF0000;
  std::strcpy(r.name, "north");
  const BaseStationRecord rec = RecordFromResponse(r);
  EXPECT_STREQ(rec.addressText, "169.254.10.20");
  EXPECT_EQ(rec.port, 2101);
  EXPECT_EQ(rec.gateway, 0u);
  EXPECT_EQ(rec.mask, 0xFFFF0000u);
  EXPECT_STREQ(rec.name, "north");
}

}  // namespace
}  // namespace qelta::network
