// The hand-built PKCS#7 path as a page drives it: the exact layout of what
// the advanced signing members make, its acceptance by both verification
// paths and by `openssl cms`, and the error numbers of its verification.
#include <optional>
#include <string>
#include <vector>

#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

using namespace std::string_literals;

const std::string kSignedDataOid = "\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02"s;
const std::string kDataOid = "\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01"s;
const std::string kSha1Algorithm = "\x30\x09\x06\x05\x2B\x0E\x03\x02\x1A\x05\x00"s;
const std::string kMd5Algorithm = "\x30\x0C\x06\x08\x2A\x86\x48\x86\xF7\x0D\x02\x05\x05\x00"s;
const std::string kRsaAlgorithm = "\x30\x0D\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01\x05\x00"s;
const std::string kVersion = "\x02\x01\x01"s;
// Zhang Wei's serial number 9A 31 44 02 needs a leading zero octet.
const std::string kZhangWeiSerial = "\x02\x05\x00\x9A\x31\x44\x02"s;

std::string Tlv(unsigned char tag, const std::string& content) {
  std::string length;
  if (content.size() < 0x80) {
    length.push_back(static_cast<char>(content.size()));
  } else {
    for (size_t rest = content.size(); rest != 0; rest >>= 8) {
      length.insert(length.begin(), static_cast<char>(rest & 0xFF));
    }
    length.insert(length.begin(), static_cast<char>(0x80 | length.size()));
  }
  return std::string(1, static_cast<char>(tag)) + length + content;
}

// The element at `offset` of `der`, whole, and the offset of its content.
std::string ElementAt(const std::string& der, size_t offset, size_t* contentStart = nullptr) {
  size_t length = static_cast<unsigned char>(der.at(offset + 1));
  size_t header = 2;
  if (length & 0x80) {
    const size_t octets = length & 0x7F;
    length = 0;
    for (size_t i = 0; i < octets; ++i) {
      length = (length << 8) | static_cast<unsigned char>(der.at(offset + 2 + i));
    }
    header += octets;
  }
  if (contentStart != nullptr) *contentStart = offset + header;
  return der.substr(offset, header + length);
}

// The issuer name of a certificate, as encoded in it.
std::string IssuerOf(const std::string& certificate) {
  size_t tbs = 0;
  ElementAt(certificate, 0, &tbs);
  size_t field = 0;
  ElementAt(certificate, tbs, &field);
  // [0] version, serial number, signature algorithm, then the issuer.
  for (int skip = 0; skip < 3; ++skip) field += ElementAt(certificate, field).size();
  return ElementAt(certificate, field);
}

struct Layout {
  std::string digestAlgorithm = kSha1Algorithm;
  std::optional<std::string> content;
  bool indefiniteContent = false;  // the content's [0] in BER's indefinite form
  std::string certificate;
  std::string issuer;
  std::string serial;
  std::string signature;
};

std::string HandBuilt(const Layout& m) {
  std::string content;
  if (m.content && m.indefiniteContent) {
    content = "\xA0\x80"s + Tlv(0x04, *m.content) + "\0\0"s;
  } else if (m.content) {
    content = Tlv(0xA0, Tlv(0x04, *m.content));
  }
  const std::string contentInfo = Tlv(0x30, kDataOid + content);
  const std::string signerInfo =
      Tlv(0x30, kVersion + Tlv(0x30, m.issuer + m.serial) + m.digestAlgorithm + kRsaAlgorithm +
                    Tlv(0x04, m.signature));
  const std::string signedData = kVersion + Tlv(0x31, m.digestAlgorithm) + contentInfo +
                                 Tlv(0xA0, m.certificate) + Tlv(0x31, signerInfo);
  return Tlv(0x30, kSignedDataOid + Tlv(0xA0, Tlv(0x30, signedData)));
}

std::string Base64(const std::string& bytes) {
  return platform::Base64Encode(bytes);
}

class HandBuiltTest : public HostSigningTest {
 protected:
  // The Base64 message an advanced member makes in server mode.
  json Sign(const std::string& member, const std::vector<Call>& settings = {},
            const std::string& dn = "CN=Zhang Wei", const std::string& text = "abc") {
    std::vector<Call> calls = settings;
    calls.push_back(Put("QVServerMode", 1));
    const bool detached = member.find("Detached") != std::string::npos;
    if (detached) {
      calls.push_back(Invoke(member, {text, dn}));
    } else {
      calls.push_back(SetPlainText(text));
      calls.push_back(Invoke(member, {dn}));
    }
    calls.push_back(ErrorNum());
    const std::vector<json> r = Session(calls);
    EXPECT_EQ(r.back()["result"]["value"], 0) << member << " " << r[r.size() - 2];
    return r[r.size() - 2];
  }

  // The errorNum, errorCode and errMsg after `verify`, and whether the
  // received text and signer details of an earlier success survived.
  struct Failure {
    int errorNum;
    int errorCode;
    std::string errMsg;
    std::string receivedText;
    std::string signer;
  };
  Failure FailedVerification(const Call& verify) {
    const std::string good = Value(Sign("QVAdvanceAttachedSign", {}, "CN=Zhang Wei", "kept"));
    const std::vector<json> r =
        Session({Invoke("QVAdvanceAttachedVerify", {good}), verify, ErrorNum(),
                 Invoke("errorCode", {}, "get"), ErrMsg(), Invoke("QVGetPlainText"), CertInfo(1)});
    EXPECT_EQ(Status(r[0]), 0) << r[0];
    EXPECT_EQ(Status(r[1]), 1) << r[1];
    return {Value(r[2]).get<int>(), Value(r[3]).get<int>(), Value(r[4]).get<std::string>(),
            Value(r[5]).get<std::string>(), Value(r[6]).get<std::string>()};
  }

  std::string OpensslVerify(const std::string& der, const std::optional<std::string>& content) {
    const auto message = Write("message.der", der);
    const auto out = root_ / "verified.bin";
    std::string command = "openssl cms -verify -binary -inform DER -in " + message.string() +
                          " -CAfile " + TrustAnchors().string() + " -out " + out.string();
    if (content) command += " -content " + Write("content.bin", *content).string();
    EXPECT_EQ(Shell(command + " 2>/dev/null"), 0) << command;
    return ReadFile(out);
  }
};

TEST_F(HandBuiltTest, LayoutIsExactAndEveryVerifierAcceptsIt) {
  const std::string certificate = CertificateDer("MY", "Zhang Wei");
  for (const bool detached : {false, true}) {
    SCOPED_TRACE(detached ? "detached" : "attached");
    const std::string der =
        Decoded(Sign(detached ? "QVAdvanceDetachedSign" : "QVAdvanceAttachedSign"));
    ASSERT_GT(der.size(), 256u);
    const std::string contentInfo =
        detached ? "\x30\x0B"s + kDataOid : "\x30\x12"s + kDataOid + "\xA0\x05\x04\x03" + "abc";
    EXPECT_NE(der.find(contentInfo), std::string::npos);
    const Layout layout{.content = detached ? std::nullopt : std::optional<std::string>("abc"),
                        .certificate = certificate,
                        .issuer = IssuerOf(certificate),
                        .serial = kZhangWeiSerial,
                        .signature = der.substr(der.size() - 256)};
    EXPECT_EQ(der, HandBuilt(layout));

    const std::string message = Base64(der);
    const std::vector<json> v =
        detached ? Session({Invoke("QVDetachedVerify", {message, "abc"}),
                            Invoke("QVAdvanceDetachedVerify", {message, "abc"}), CertInfo(5)})
                 : Session({Invoke("QVAttachedVerify", {message}),
                            Invoke("QVAdvanceAttachedVerify", {message}), CertInfo(5),
                            Invoke("QVGetPlainText")});
    EXPECT_EQ(Status(v[0]), 0) << v[0];
    EXPECT_EQ(Status(v[1]), 0) << v[1];
    EXPECT_EQ(Value(v[2]), "009A 3144 02");
    if (!detached) {
      EXPECT_EQ(Value(v[3]), "abc");
    }
    EXPECT_EQ(OpensslVerify(der, detached ? std::optional<std::string>("abc") : std::nullopt),
              "abc");
  }
}

TEST_F(HandBuiltTest, DigestAndCompressionSettings) {
  // MD5 names MD5 in both places; the digest setting does not matter to
  // verification, which takes the digest from the message.
  const std::string md5 = Decoded(
      Sign("QVAdvanceAttachedSign", {Invoke("QVSetDigestArithmetic", {"1.2.840.113549.2.5"})}));
  const size_t first = md5.find(kMd5Algorithm);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(md5.find(kMd5Algorithm, first + 1), std::string::npos);
  EXPECT_EQ(md5.find(kSha1Algorithm), std::string::npos);
  const std::string sha1 = Value(Sign("QVAdvanceAttachedSign"));
  const std::vector<json> v = Session({Invoke("QVSetDigestArithmetic", {"1.2.840.113549.2.5"}),
                                       Invoke("QVAdvanceAttachedVerify", {Base64(md5)}),
                                       Invoke("QVAdvanceAttachedVerify", {sha1})});
  EXPECT_EQ(Status(v[1]), 0) << v[1];
  EXPECT_EQ(Status(v[2]), 0) << v[2];

  const std::vector<json> sha256 =
      Session({Put("QVServerMode", 1), Invoke("QVSetDigestArithmetic", {"2.16.840.1.101.3.4.2.1"}),
               Invoke("QVAdvanceDetachedSign", {"abc", "CN=Zhang Wei"}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(Status(sha256[2]), 1);
  EXPECT_EQ(Value(sha256[3]), -10033);
  EXPECT_EQ(Value(sha256[4]), "签名失败");
  // A digest the platform cannot hash fails before any platform value is kept.
  const std::vector<json> unknown =
      Session({Put("QVServerMode", 1), Invoke("QVSetDigestArithmetic", {"1.2.3.4"}),
               Invoke("QVAdvanceDetachedSign", {"abc", "CN=Zhang Wei"}), ErrorNum(),
               Invoke("errorCode", {}, "get")});
  EXPECT_EQ(Value(unknown[3]), -10029);
  EXPECT_EQ(Value(unknown[4]), 0);

  // Detached messages are compressed too, from a DER of the threshold's size on.
  const auto length = static_cast<int64_t>(Decoded(Sign("QVAdvanceDetachedSign")).size());
  EXPECT_EQ(static_cast<unsigned char>(
                Decoded(Sign("QVAdvanceDetachedSign", {Put("MaxCompSize", length + 1)}))[0]),
            0x30);
  const json compressed = Sign("QVAdvanceDetachedSign", {Put("MaxCompSize", length)});
  EXPECT_EQ(Decoded(compressed).substr(0, 2), "\x1F\x8B");
  const std::vector<json> c =
      Session({Invoke("QVAdvanceDetachedVerify", {Value(compressed), "abc"}),
               Invoke("QVDetachedVerify", {Value(compressed), "abc"})});
  EXPECT_EQ(Status(c[0]), 0) << c[0];
  EXPECT_EQ(Status(c[1]), 0) << c[1];
}

TEST_F(HandBuiltTest, SigningFailuresAndStateRules) {
  const std::vector<json> r = Session({
      Put("QVServerMode", 1), SetPlainText("x"),
      Invoke("QVAdvanceAttachedSign", {"CN=No Key Holder"}), ErrorNum(),  // 2, 3
      CertInfo(1),                                                        // 4: cleared
      Invoke("QVAttachedSign", {"CN=Zhang San"}), ErrorNum(),             // 5, 6: text consumed
      SetPlainText("y"), Invoke("QVAdvanceDetachedSign", {"z", "CN=Zhang San"}),  // 8: empties it
      Invoke("QVAttachedSign", {"CN=Zhang San"}), ErrorNum(),                     // 9, 10
      Invoke("QVAdvanceDetachedSign", {"z", ""}), ErrorNum(), ErrMsg(),           // 11-13
  });
  EXPECT_EQ(Status(r[2]), 1);
  EXPECT_EQ(Value(r[3]), -10053);
  EXPECT_EQ(Value(r[4]), "");
  EXPECT_EQ(Value(r[6]), -10001);
  EXPECT_EQ(Status(r[8]), 0) << r[8];
  EXPECT_EQ(Value(r[10]), -10001);
  EXPECT_EQ(Value(r[12]), -10001);
  EXPECT_EQ(Value(r[13]), "必须设置默认证书DN");
}

TEST_F(HandBuiltTest, VerificationFailuresReportTheirNumberInBothFields) {
  const std::string certificate = CertificateDer("MY", "Zhang Wei");
  const std::string detached = Decoded(Sign("QVAdvanceDetachedSign"));
  const std::string attached = Value(Sign("QVAdvanceAttachedSign"));

  // The detached message with Zhang San's certificate in place of the signer's.
  Layout swapped{.certificate = CertificateDer("MY", "Zhang San"),
                 .issuer = IssuerOf(certificate),
                 .serial = kZhangWeiSerial,
                 .signature = detached.substr(detached.size() - 256)};

  const std::vector<json> envelope = Session({Put("QVServerMode", 1), SetPlainText("x"),
                                              Invoke("QVEncryptedEnvelop", {"CN=Recipient One"})});
  ASSERT_EQ(Status(envelope[2]), 0) << envelope[2];

  // A SHA-256 signature without attributes, by a key of the test's own.
  const auto key = root_ / "key.pem";
  const auto cert = root_ / "cert.pem";
  ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Other -days 2 -keyout " +
                  key.string() + " -out " + cert.string() + " 2>/dev/null"),
            0);
  const auto sha256 = root_ / "sha256.der";
  ASSERT_EQ(Shell("openssl cms -sign -binary -md sha256 -noattr -nosmimecap -nodetach -outform DER "
                  "-in " +
                  Write("plain.txt", "abc").string() + " -signer " + cert.string() + " -inkey " +
                  key.string() + " -out " + sha256.string()),
            0);

  const std::string orphan = Value(Sign("QVAdvanceAttachedSign", {}, "CN=Orphan User"));
  // The signed message with its content's length in the indefinite form.
  const Layout indefinite{.content = "abc",
                          .indefiniteContent = true,
                          .certificate = certificate,
                          .issuer = IssuerOf(certificate),
                          .serial = kZhangWeiSerial,
                          .signature = detached.substr(detached.size() - 256)};

  struct Case {
    const char* what;
    Call verify;
    int expected;
  };
  const std::vector<Case> cases = {
      {"changed content", Invoke("QVAdvanceDetachedVerify", {Base64(detached), "abd"}), -10032},
      {"attached given as detached", Invoke("QVAdvanceDetachedVerify", {attached, "abc"}), -10010},
      {"enveloped data", Invoke("QVAdvanceAttachedVerify", {Value(envelope[2])}), -10038},
      {"SHA-256 by openssl", Invoke("QVAdvanceAttachedVerify", {Base64(ReadFile(sha256))}), -10038},
      {"first certificate not the signer's",
       Invoke("QVAdvanceDetachedVerify", {Base64(HandBuilt(swapped)), "abc"}), -10032},
      {"issuer in neither CA nor ROOT", Invoke("QVAdvanceAttachedVerify", {orphan}), -10014},
      {"truncated", Invoke("QVAdvanceDetachedVerify", {Base64(detached.substr(0, 300)), "abc"}),
       -10037},
      {"indefinite length", Invoke("QVAdvanceAttachedVerify", {Base64(HandBuilt(indefinite))}),
       -10037},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Failure failure = FailedVerification(c.verify);
    EXPECT_EQ(failure.errorNum, c.expected);
    EXPECT_EQ(failure.errorCode, c.expected);
    EXPECT_EQ(failure.errMsg, "验证错误");
    EXPECT_EQ(failure.receivedText, "kept");
    EXPECT_EQ(failure.signer, "");
  }
}

TEST_F(HandBuiltTest, SpecVariantsOfferOnlySignatureKeys) {
  Script({{{"dialog", "chooser"}, {"actions", {"cancel"}}},
          {{"dialog", "chooser"}, {"actions", {"cancel"}}},
          {{"dialog", "chooser"}, {"actions", {"cancel"}}}});
  const std::vector<json> r =
      Session({SetPlainText("x"), Invoke("QVAdvanceAttachedSign", {""}), SetPlainText("x"),
               Invoke("QVUseSpecAdvanceAttachedSign", {""}),
               Invoke("QVUseSpecAdvanceDetachedSign", {"x", ""}), ErrorNum()});
  EXPECT_EQ(Value(r[5]), -10005);
  const std::vector<json> choosers = ChooserDialogs();
  ASSERT_EQ(choosers.size(), 3u);
  EXPECT_GE(choosers[0]["rows"].size(), 5u);
  for (size_t i : {1u, 2u}) {
    ASSERT_EQ(choosers[i]["rows"].size(), 2u) << choosers[i];
    const std::string rows = choosers[i]["rows"].dump();
    EXPECT_NE(rows.find("Zhang Wei"), std::string::npos) << rows;
    EXPECT_NE(rows.find("李四"), std::string::npos) << rows;
  }
}

}  // namespace
}  // namespace quorvel::tools
