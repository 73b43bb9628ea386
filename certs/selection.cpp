#include "certs/selection.h"

#include <new>
#include <optional>

#include "certs/cert_info.h"
#include "certs/chooser/chooser_model.h"
#include "certs/info_text.h"
#include "platform/errors/error_numbers.h"
#include "platform/errors/platform_errors.h"
#include "platform/keyuse/key_use.h"

namespace quorvel::certs {
namespace {

using platform::CertContextRef;

enum class Filter {
  kPrivateKeyWhenOneStore,  // the plain routines
  kSignatureKey,            // the Sign routines
};

enum class Verdict { kPass, kReject, kAbort };

Verdict Apply(Filter filter, StoreSet stores, const platform::CertContext& certificate) {
  if (filter == Filter::kPrivateKeyWhenOneStore) {
    return stores.size() != 1 || HasPrivateKey(certificate) ? Verdict::kPass : Verdict::kReject;
  }
  uint32_t keySpec = 0;
  if (GetKeySpec(certificate, keySpec) != err::kOk) return Verdict::kAbort;
  return keySpec == platform::kAtSignature ? Verdict::kPass : Verdict::kReject;
}

std::vector<std::u16string> Alternatives(std::u16string_view dn, std::u16string_view separator) {
  const std::u16string normalized = NormalizeDN(dn);
  std::vector<std::u16string> alternatives;
  if (separator.empty()) return {normalized};
  std::size_t start = 0;
  for (std::size_t found; (found = normalized.find(separator, start)) != std::u16string::npos;
       start = found + separator.size()) {
    alternatives.push_back(normalized.substr(start, found - start));
  }
  alternatives.push_back(normalized.substr(start));
  return alternatives;
}

bool Matches(const std::u16string& subject, const std::vector<std::u16string>& alternatives) {
  if (subject.empty()) return false;
  for (const std::u16string& alternative : alternatives) {
    if (subject.find(alternative) != std::u16string::npos) return true;
  }
  return false;
}

// Walks every certificate of the stores in order; `visit` returns false to stop.
template <typename Visit>
void ForEachCertificate(StoreSet stores, Visit&& visit) {
  for (platform::CertStore* store : stores) {
    if (store == nullptr) continue;
    CertContextRef context;
    while (store->Enumerate(context, context) == platform::error::kOk) {
      if (!visit(context)) return;
    }
  }
}

// Shows the chooser with the candidates and resolves the choice. The model
// (and with it the view button's temporary file) is gone before the choice is
// looked up.
CertContextRef Choose(StoreSet stores, const CandidateList& list, int candidates,
                      const platform::ChooserTexts& texts) {
  int position = -1;
  {
    platform::ChooserTexts shown = texts;
    shown.origin = platform::CurrentCallerOrigin();
    ChooserModel model(stores, candidates, &list, std::move(shown));
    const platform::UiServices ui = platform::CurrentUiServices();
    if (ui.chooser) ui.chooser->ShowChooser(model);
    position = model.resultIndex();
  }
  return ResolveChoice(list, candidates, stores, position);
}

struct Candidates {
  CandidateList list;
  int count = 0;
};

// Collects the certificates that pass `filter` and `match(certificate,
// subject)`; `subject` is the subject text, empty when it cannot be read.
// Nothing (nullopt) when a key specification cannot be read: that ends the
// whole selection.
template <typename Match>
std::optional<Candidates> Collect(StoreSet stores, Filter filter, Match&& match) {
  Candidates found;
  bool aborted = false;
  ForEachCertificate(stores, [&](const CertContextRef& context) {
    const platform::CertContext& certificate = *context;
    switch (Apply(filter, stores, certificate)) {
      case Verdict::kAbort:
        aborted = true;
        return false;
      case Verdict::kReject:
        return true;
      case Verdict::kPass:
        break;
    }
    std::u16string subject;
    ReadInfoText(certificate, kInfoSubject, subject);
    if (!match(certificate, subject)) return true;
    // An entry that cannot be appended is missing; the chooser then shows no rows.
    AppendCandidate(found.list, certificate, subject);
    ++found.count;
    return true;
  });
  if (aborted) return std::nullopt;
  return found;
}

// One candidate is taken, several are offered; none gives null, or the empty
// chooser when `showChooserOnNone`.
CertContextRef Settle(StoreSet stores, const Candidates& found, bool showChooserOnNone,
                      const platform::ChooserTexts& texts) {
  if (found.count == 1) {
    return ResolveChoice(found.list, found.count, stores, kEntriesPerCandidate - 1);
  }
  if (found.count >= 2 || showChooserOnNone) return Choose(stores, found.list, found.count, texts);
  return nullptr;
}

CertContextRef SelectByDn(StoreSet stores, Filter filter, std::u16string_view dn,
                          std::u16string_view separator, bool& anyMatched, bool showChooserOnNone,
                          const platform::ChooserTexts& texts) {
  if (stores.empty()) return nullptr;
  try {
    const std::vector<std::u16string> alternatives = Alternatives(dn, separator);
    const std::optional<Candidates> found =
        Collect(stores, filter, [&](const platform::CertContext&, const std::u16string& subject) {
          return Matches(subject, alternatives);
        });
    if (!found) return nullptr;
    if (found->count > 0) anyMatched = true;
    return Settle(stores, *found, showChooserOnNone, texts);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CertContextRef ChooseAny(StoreSet stores, Filter filter, const platform::ChooserTexts& texts) {
  if (stores.empty()) return nullptr;
  try {
    const std::optional<Candidates> found = Collect(
        stores, filter, [](const platform::CertContext&, const std::u16string&) { return true; });
    if (!found) return nullptr;
    return Choose(stores, found->list, found->count, texts);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CertContextRef SelectBySerial(StoreSet stores, Filter filter, std::u16string_view serials,
                              std::u16string_view issuerDn, const platform::ChooserTexts& texts) {
  if (stores.empty()) return nullptr;
  try {
    const std::vector<platform::Bytes> values = ParseSerialList(serials);
    const std::u16string issuer = NormalizeDN(issuerDn);
    const std::optional<Candidates> found =
        Collect(stores, filter, [&](const platform::CertContext& certificate, const auto&) {
          for (const platform::Bytes& value : values) {
            if (!platform::CompareIntegerBlob(certificate.certificate().SerialNumber(), value)) {
              continue;
            }
            std::u16string text;
            if (ReadInfoText(certificate, kInfoIssuer, text) && text == issuer) return true;
          }
          return false;
        });
    if (!found) return nullptr;
    return Settle(stores, *found, false, texts);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

}  // namespace

std::u16string NormalizeDN(std::u16string_view dn) {
  std::u16string out;
  out.reserve(dn.size() + 512);
  for (std::size_t i = 0; i < dn.size(); ++i) {
    out.push_back(dn[i]);
    if (dn[i] != u',') continue;
    if (i + 1 >= dn.size()) {
      out.push_back(u' ');  // a final comma is not followed by a space either
      break;
    }
    if (dn[i + 1] != u' ') out.push_back(u' ');
    out.push_back(dn[++i]);
  }
  return out;
}

std::u16string ReverseDN(std::u16string_view dn) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  for (std::size_t comma; (comma = dn.find(u',', start)) != std::u16string_view::npos;) {
    parts.push_back(dn.substr(start, comma - start));
    start = comma + 1;
    if (start < dn.size() && dn[start] == u' ') ++start;
  }
  parts.push_back(dn.substr(start));
  std::u16string out;
  out.reserve(dn.size() * 2);
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    if (part != parts.rbegin()) out += u", ";
    out += *part;
  }
  return out;
}

bool HasPrivateKey(const platform::CertContext& certificate) {
  for (uint32_t id = certificate.EnumProperties(0); id != 0; id = certificate.EnumProperties(id)) {
    if (id != platform::kKeyProvInfoPropId) continue;
    uint32_t size = 0;
    if (certificate.GetProperty(id, nullptr, size) != platform::error::kOk) return false;
    try {
      platform::Bytes value(size);
      return certificate.GetProperty(id, value.data(), size) == platform::error::kOk;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  return false;
}

ErrorNumber GetKeySpec(const platform::CertContext& certificate, uint32_t& keySpec) {
  for (uint32_t id = certificate.EnumProperties(0); id != 0; id = certificate.EnumProperties(id)) {
    if (id != platform::kKeyProvInfoPropId) continue;
    platform::KeyProvInfo info;
    switch (certificate.GetKeyProvInfo(info)) {
      case platform::error::kOk:
        keySpec = info.keySpec;
        return err::kOk;
      case platform::error::kOutOfMemory:
        return err::kNoMemory;
      default:
        return err::kCertProperty;
    }
  }
  return err::kOk;
}

std::vector<platform::Bytes> ParseSerialList(std::u16string_view text) {
  std::vector<platform::Bytes> values;
  std::size_t start = 0;
  while (start <= text.size() && values.size() < kMaxSerialValues) {
    std::size_t end = text.find(u' ', start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view token = text.substr(start, end - start);
    start = end + 1;
    if (token.empty() || token.size() % 2 != 0) continue;
    platform::Bytes value(token.size() / 2);
    bool valid = true;
    for (std::size_t i = 0; i < token.size() && valid; i += 2) {
      const int high = HexDigit(token[i]);
      const int low = HexDigit(token[i + 1]);
      valid = high >= 0 && low >= 0;
      // Most significant first in the text, least significant first in the value.
      if (valid) value[value.size() - 1 - i / 2] = static_cast<uint8_t>(high * 16 + low);
    }
    if (valid) values.push_back(std::move(value));
  }
  return values;
}

CertContextRef SelectCertByDN(StoreSet stores, std::u16string_view dn,
                              std::u16string_view separator, bool& anyMatched,
                              bool showChooserOnNone, const platform::ChooserTexts& texts) {
  return SelectByDn(stores, Filter::kPrivateKeyWhenOneStore, dn, separator, anyMatched,
                    showChooserOnNone, texts);
}

CertContextRef SelectSignCertByDN(StoreSet stores, std::u16string_view dn,
                                  std::u16string_view separator, bool& anyMatched,
                                  bool showChooserOnNone, const platform::ChooserTexts& texts) {
  return SelectByDn(stores, Filter::kSignatureKey, dn, separator, anyMatched, showChooserOnNone,
                    texts);
}

CertContextRef ChooseAnyCert(StoreSet stores, const platform::ChooserTexts& texts) {
  return ChooseAny(stores, Filter::kPrivateKeyWhenOneStore, texts);
}

CertContextRef ChooseAnySignCert(StoreSet stores, const platform::ChooserTexts& texts) {
  return ChooseAny(stores, Filter::kSignatureKey, texts);
}

CertContextRef SelectCertBySerial(StoreSet stores, std::u16string_view serials,
                                  std::u16string_view issuerDn,
                                  const platform::ChooserTexts& texts) {
  return SelectBySerial(stores, Filter::kPrivateKeyWhenOneStore, serials, issuerDn, texts);
}

CertContextRef SelectSignCertBySerial(StoreSet stores, std::u16string_view serials,
                                      std::u16string_view issuerDn,
                                      const platform::ChooserTexts& texts) {
  return SelectBySerial(stores, Filter::kSignatureKey, serials, issuerDn, texts);
}

CertContextRef FindFirstCertByDN(StoreSet stores, std::u16string_view dn,
                                 std::u16string_view separator) {
  try {
    const std::vector<std::u16string> alternatives = Alternatives(dn, separator);
    CertContextRef first;
    ForEachCertificate(stores, [&](const CertContextRef& context) {
      std::u16string subject;
      ReadInfoText(*context, kInfoSubject, subject);
      if (!Matches(subject, alternatives)) return true;
      first = context;
      return false;
    });
    return first;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CertContextRef FindCertByExactDN(StoreSet stores, std::u16string_view dn, std::size_t keyLength) {
  try {
    platform::CertFind criterion;
    criterion.type = platform::FindType::kSubjectStr;
    criterion.text = ShortName(dn.substr(0, std::min(keyLength, dn.size())));
    const std::u16string wanted = NormalizeDN(dn);
    for (platform::CertStore* store : stores) {
      if (store == nullptr) continue;
      CertContextRef context;
      while (store->Find(criterion, context, context) == platform::error::kOk) {
        std::u16string subject;
        if (ReadInfoText(*context, kInfoSubject, subject) && subject == wanted) return context;
      }
    }
  } catch (const std::bad_alloc&) {
  }
  return nullptr;
}

}  // namespace quorvel::certs
