#include <algorithm>
#include <array>

#include "control/error_numbers.h"

namespace quorvel::control {
namespace {

using Texts = std::u16string_view;

constexpr Texts k10000[] = {msg::kNoMemory, msg::kNoMemoryShort, u"无可用内存",
                            u"没有可使用的内存空间"};
constexpr Texts k10001[] = {msg::kSourceEmpty, msg::kMustSetDefaultDn, msg::kDnDataEmpty,
                            msg::kDnEmpty};
constexpr Texts k10002[] = {msg::kBase64DecodeFailed};
constexpr Texts k10003[] = {msg::kBase64EncodeFailed};
constexpr Texts k10004[] = {msg::kUserCancelled};
constexpr Texts k10005[] = {u"获取证书失败"};
constexpr Texts k10006[] = {u"Detached格式的签名，需要给签名的源数据以证明没有改动",
                            msg::kNoSavePathKey, msg::kNoStubPathValue};
constexpr Texts k10007[] = {u"不可识别的包"};
constexpr Texts k10008[] = {msg::kBadInfoType};
constexpr Texts k10009[] = {u"没有证书主题信息"};
constexpr Texts k10010[] = {u"无效的证书签名或者数据签名验证不对", u"无效签名"};
constexpr Texts k10011[] = {u"证书校验错误：证书已过期"};
constexpr Texts k10012[] = {u"证书校验错误：证书已冻结或已废止"};
constexpr Texts k10013[] = {u"证书校验错误：证书链的验证出现问题"};
constexpr Texts k10014[] = {u"证书校验错误：上级证书没有找到"};
constexpr Texts k10015[] = {u"没有找到相应的私钥"};
constexpr Texts k10016[] = {u"无法解码证书主题", u"无法解码证书签发者", u"时间转换出错",
                            u"解码证书扩展失败", u"系统错误"};
constexpr Texts k10017[] = {u"证书校验错误：证书签名有问题"};
constexpr Texts k10018[] = {msg::kOpenStore};
constexpr Texts k10019[] = {u"找不到设备(2)", u"找不到设备!"};
constexpr Texts k10020[] = {msg::kSignFailed};
constexpr Texts k10021[] = {u"验证失败"};
constexpr Texts k10022[] = {msg::kEncryptFailed};
constexpr Texts k10023[] = {msg::kDigestFailed, msg::kOpenEnvelopeFailed};
constexpr Texts k10024[] = {msg::kNoSeparator};
constexpr Texts k10025[] = {msg::kSeparatorLimit};
constexpr Texts k10026[] = {msg::kNoExtension};
constexpr Texts k10027[] = {u"获取证书属性失败"};
constexpr Texts k10028[] = {u"取证书公钥失败", u"导入公钥失败！"};
constexpr Texts k10029[] = {u"产生Hash对象失败"};
constexpr Texts k10030[] = {u"Hash数据失败", u"对Hash对象添加数据失败！"};
constexpr Texts k10031[] = {u"签名Hash数据失败"};
constexpr Texts k10032[] = {u"验HASH失败", u"验签名失败！"};
constexpr Texts k10033[] = {msg::kBadAlgorithm, u"非P7签名数据"};
constexpr Texts k10034[] = {msg::kCharsetConversion, msg::kConversionShort};
constexpr Texts k10035[] = {u"创建证书句柄失败", u"创建加密证书句柄失败"};
constexpr Texts k10036[] = {msg::kCharsetConversion, msg::kConversionShort};
constexpr Texts k10037[] = {u"BER解码失败"};
constexpr Texts k10038[] = {u"非P7签名数据"};
constexpr Texts k10051[] = {u"签名Hash数据失败"};
constexpr Texts k10053[] = {u"没有找到证书的Private Key属性"};
constexpr Texts k10054[] = {u"DER编码失败"};
constexpr Texts k10055[] = {u"拷贝内存失败！", u"拷贝内存错误！"};
constexpr Texts k10056[] = {msg::kDnTooLong, msg::kIssuerDnTooLong, msg::kDnDataTooLong,
                            msg::kFileNameTooLong};
constexpr Texts k10057[] = {msg::kDnCheckFailed};

constexpr std::array kTable{
    ErrorEntry{err::kNoMemory, "memory exhausted", k10000},
    ErrorEntry{err::kEmptyInput, "required input empty or missing", k10001},
    ErrorEntry{err::kBase64Decode, "Base64 decoding failed", k10002},
    ErrorEntry{err::kBase64Encode, "Base64 encoding failed", k10003},
    ErrorEntry{err::kUserCancelled, "the user cancelled a file dialog or a token's PIN dialog",
               k10004},
    ErrorEntry{err::kNoCertificate, "no certificate was obtained", k10005},
    ErrorEntry{err::kDetachedNeedsContent,
               "detached signature without its content; or no save path registered", k10006},
    ErrorEntry{err::kUnknownPackage, "unrecognised security package", k10007},
    ErrorEntry{err::kBadInfoType, "certificate information type outside 1..5", k10008},
    ErrorEntry{err::kNoSignerCertificate, "verification gave no signer certificate", k10009},
    ErrorEntry{err::kInvalidSignature, "certificate or data signature does not verify", k10010},
    ErrorEntry{err::kCertExpired, "chain check: certificate expired", k10011},
    ErrorEntry{err::kCertRevoked, "chain check: certificate frozen or revoked", k10012},
    ErrorEntry{err::kChainInvalid, "chain check: the chain does not validate", k10013},
    ErrorEntry{err::kIssuerNotFound, "chain check: issuing certificate not found", k10014},
    ErrorEntry{err::kNoPrivateKey, "private key of the certificate not found", k10015},
    ErrorEntry{err::kDecodeField, "decoding a certificate field, extension or time failed", k10016},
    ErrorEntry{err::kCertSignatureFaulty, "chain check: certificate signature faulty", k10017},
    ErrorEntry{err::kOpenStore, "opening a certificate store failed", k10018},
    ErrorEntry{err::kAcquireProvider, "acquiring the cryptographic provider failed", k10019},
    ErrorEntry{err::kSignFailed, "signing failed", k10020},
    ErrorEntry{err::kVerifyFailed, "verification failed", k10021},
    ErrorEntry{err::kEncryptFailed, "encryption failed", k10022},
    ErrorEntry{err::kDigestOrDecryptFailed, "digest or decryption failed", k10023},
    ErrorEntry{err::kNoSeparator, "a DN was given but the separator is empty", k10024},
    ErrorEntry{err::kSeparatorLimit, "too many separators, or separator too long", k10025},
    ErrorEntry{err::kNoExtension, "certificate lacks the requested extension", k10026},
    ErrorEntry{err::kCertProperty, "reading a certificate property failed", k10027},
    ErrorEntry{err::kPublicKey, "taking or importing the public key failed", k10028},
    ErrorEntry{err::kCreateHash, "creating a hash object failed", k10029},
    ErrorEntry{err::kHashData, "hashing the data failed", k10030},
    ErrorEntry{err::kSignHash, "signing the hash failed", k10031},
    ErrorEntry{err::kVerifyHash, "the hash signature does not verify", k10032},
    ErrorEntry{err::kBadAlgorithm, "invalid algorithm identifier", k10033},
    ErrorEntry{err::kToCodePage, "wide to multibyte conversion failed", k10034},
    ErrorEntry{err::kCertHandle, "creating a certificate handle failed", k10035},
    ErrorEntry{err::kFromCodePage, "multibyte to wide conversion failed", k10036},
    ErrorEntry{err::kBerDecode, "BER decoding failed", k10037},
    ErrorEntry{err::kNotSignedData, "not PKCS#7 signed data", k10038},
    ErrorEntry{err::kSignHashPlatformA, "signing the hash failed (platform error)", k10051},
    ErrorEntry{err::kSignHashPlatformB, "signing the hash failed (platform error)", k10051},
    ErrorEntry{err::kNoKeyProperty, "the certificate has no private-key property", k10053},
    ErrorEntry{err::kDerEncode, "DER encoding failed", k10054},
    ErrorEntry{err::kCopyBuffer, "copying into an output buffer failed", k10055},
    ErrorEntry{err::kTooLong, "DN longer than 32768 or file name longer than 256", k10056},
    ErrorEntry{err::kTooManyCommas, "a DN contains 256 or more commas", k10057},
};

}  // namespace

std::span<const ErrorEntry> ErrorTable() {
  return kTable;
}

const ErrorEntry* FindError(ErrorNumber number) {
  const auto* found = std::find_if(kTable.begin(), kTable.end(),
                                   [number](const ErrorEntry& e) { return e.number == number; });
  return found == kTable.end() ? nullptr : &*found;
}

}  // namespace quorvel::control
