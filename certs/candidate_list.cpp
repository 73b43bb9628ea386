#include "certs/candidate_list.h"

#include <algorithm>
#include <new>

#include "certs/cert_info.h"
#include "certs/info_text.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::certs {
namespace {

template <typename Entry, typename Unit>
int32_t Append(std::vector<std::variant<std::vector<uint8_t>, std::u16string>>& entries,
               const Unit* data, std::size_t n) {
  if (data == nullptr || n == 0) return kListNoData;
  try {
    Entry entry(data, data + n);
    try {
      entries.emplace_back(std::move(entry));
    } catch (const std::bad_alloc&) {
      return kListNodeAllocation;
    }
  } catch (const std::bad_alloc&) {
    return kListBufferAllocation;
  }
  return kListOk;
}

template <typename Entry, typename Unit>
int32_t Get(const std::vector<std::variant<std::vector<uint8_t>, std::u16string>>& entries,
            int position, Unit* buffer, std::size_t* length) {
  if (position < 0) return kListNegativePosition;
  if (length == nullptr || static_cast<std::size_t>(position) >= entries.size()) return kListNoData;
  const Entry* entry = std::get_if<Entry>(&entries[static_cast<std::size_t>(position)]);
  if (entry == nullptr) return kListNoData;
  *length = entry->size();
  if (buffer != nullptr) {
    std::copy(entry->begin(), entry->end(), buffer);
    buffer[entry->size()] = 0;
  }
  return kListOk;
}

int32_t AppendText(CandidateList& list, bool available, const std::u16string& text,
                   std::u16string_view unavailable) {
  // An empty text cannot be an entry; it counts as unavailable.
  if (!available || text.empty()) return list.AppendText(unavailable.data(), unavailable.size());
  return list.AppendText(text.data(), text.size());
}

}  // namespace

int32_t CandidateList::AppendBytes(const uint8_t* data, std::size_t n) {
  return Append<std::vector<uint8_t>>(entries_, data, n);
}

int32_t CandidateList::AppendText(const char16_t* text, std::size_t n) {
  return Append<std::u16string>(entries_, text, n);
}

int32_t CandidateList::GetBytes(int position, uint8_t* buffer, std::size_t* length) const {
  return Get<std::vector<uint8_t>>(entries_, position, buffer, length);
}

int32_t CandidateList::GetText(int position, char16_t* buffer, std::size_t* length) const {
  return Get<std::u16string>(entries_, position, buffer, length);
}

std::vector<uint8_t> CandidateList::Bytes(int position) const {
  std::size_t length = 0;
  if (GetBytes(position, nullptr, &length) != kListOk) return {};
  std::vector<uint8_t> out(length + 1);
  GetBytes(position, out.data(), &length);
  out.resize(length);
  return out;
}

std::u16string CandidateList::Text(int position) const {
  std::size_t length = 0;
  if (GetText(position, nullptr, &length) != kListOk) return {};
  std::u16string out(length + 1, u'\0');
  GetText(position, out.data(), &length);
  out.resize(length);
  return out;
}

std::u16string ShortName(std::u16string_view name) {
  for (std::u16string_view key : {u"CN=", u"E=", u"OU=", u"O="}) {
    const std::size_t found = name.find(key);
    if (found == std::u16string_view::npos) continue;
    const std::u16string_view rest = name.substr(found + key.size());
    return std::u16string(rest.substr(0, rest.find(u',')));
  }
  return std::u16string(name);
}

int32_t AppendCandidate(CandidateList& list, const platform::CertContext& certificate,
                        std::u16string_view subject) {
  std::u16string text(subject);
  bool available = !text.empty() || ReadInfoText(certificate, kInfoSubject, text);
  int32_t result = AppendText(list, available, ShortName(text), kNoSubject);
  if (result != kListOk) return result;

  available = ReadInfoText(certificate, kInfoIssuer, text);
  result = AppendText(list, available, ShortName(text), kNoIssuer);
  if (result != kListOk) return result;

  available = ReadInfoText(certificate, kInfoNotAfter, text);
  result = AppendText(list, available, text, kNoNotAfter);
  if (result != kListOk) return result;

  available = ReadInfoText(certificate, kInfoSerialNumber, text);
  result = AppendText(list, available, text, kNoSerial);
  if (result != kListOk) return result;

  const std::span<const uint8_t> issuer = certificate.certificate().IssuerName();
  if (issuer.empty()) return list.AppendBytes(kNoIssuerNameBytes, sizeof kNoIssuerNameBytes);
  return list.AppendBytes(issuer.data(), issuer.size());
}

platform::CertContextRef FindCertByIssuerSerial(StoreSet stores,
                                                std::span<const uint8_t> issuerName,
                                                std::u16string_view serial) {
  platform::CertFind criterion;
  criterion.type = platform::FindType::kIssuerName;
  criterion.bytes.assign(issuerName.begin(), issuerName.end());
  for (platform::CertStore* store : stores) {
    if (store == nullptr) continue;
    platform::CertContextRef context;
    while (store->Find(criterion, context, context) == platform::error::kOk) {
      std::u16string text;
      if (ReadInfoText(*context, kInfoSerialNumber, text) && text == serial) return context;
    }
  }
  return nullptr;
}

platform::CertContextRef ResolveChoice(const CandidateList& list, int candidates, StoreSet stores,
                                       int position) {
  if (position < 0 || candidates < 0 ||
      static_cast<int64_t>(position) > int64_t{kEntriesPerCandidate} * candidates) {
    return nullptr;
  }
  std::size_t issuerLength = 0;
  std::size_t serialLength = 0;
  if (list.GetBytes(position, nullptr, &issuerLength) != kListOk ||
      list.GetText(position - 1, nullptr, &serialLength) != kListOk) {
    return nullptr;
  }
  return FindCertByIssuerSerial(stores, list.Bytes(position), list.Text(position - 1));
}

}  // namespace quorvel::certs
