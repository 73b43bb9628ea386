#include "certs/chooser/chooser_model.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "certs/cert_info.h"
#include "certs/chooser/temp_cert_file.h"
#include "certs/info_text.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"

namespace quorvel::certs {
namespace {

constexpr std::size_t kSortedPrefix = 256;

std::u16string_view SortKey(const platform::ChooserRow& row, int column) {
  return std::u16string_view(row.Column(column)).substr(0, kSortedPrefix);
}

// A certificate of the stores that is on a hardware token: what finds it
// again from a candidate (its issuer and serial text) and the token's label.
struct TokenCertificate {
  std::span<const uint8_t> issuer;
  std::u16string serial;
  std::u16string label;
  platform::CertContextRef context;  // holds the issuer's bytes
};

// Each store is read once: reading "MY" reads the tokens anew.
std::vector<TokenCertificate> TokenCertificatesOf(StoreSet stores) {
  std::vector<TokenCertificate> found;
  for (platform::CertStore* store : stores) {
    std::vector<platform::CertContextRef> contexts;
    if (store == nullptr || store->Certificates(contexts) != platform::error::kOk) continue;
    for (platform::CertContextRef& context : contexts) {
      const auto token = platform::TokenLocationOf(*context);
      std::u16string serial;
      if (!token || !ReadInfoText(*context, kInfoSerialNumber, serial)) continue;
      const std::span<const uint8_t> issuer = context->certificate().IssuerName();
      found.push_back({issuer, std::move(serial), platform::Utf8ToUtf16(token->tokenLabel),
                       std::move(context)});
    }
  }
  return found;
}

}  // namespace

ChooserModel::ChooserModel(StoreSet stores, int candidates, const CandidateList* list,
                           platform::ChooserTexts texts)
    : stores_(stores), list_(list), texts_(std::move(texts)) {
  if (list_ == nullptr || candidates < 0 ||
      list_->Count() != static_cast<std::size_t>(candidates) * kEntriesPerCandidate) {
    return;
  }
  rows_.reserve(static_cast<std::size_t>(candidates));
  const std::vector<TokenCertificate> onTokens = TokenCertificatesOf(stores_);
  std::vector<std::u16string> tokens;
  for (int k = 0; k < candidates; ++k) {
    const int first = k * kEntriesPerCandidate;
    rows_.push_back({k, list_->Text(first), list_->Text(first + 1), list_->Text(first + 2)});
    const std::vector<uint8_t> issuer = list_->Bytes(first + 4);
    const std::u16string serial = list_->Text(first + 3);
    for (const TokenCertificate& onToken : onTokens) {
      if (onToken.serial != serial || !std::ranges::equal(onToken.issuer, issuer)) continue;
      if (std::find(tokens.begin(), tokens.end(), onToken.label) == tokens.end()) {
        tokens.push_back(onToken.label);
      }
    }
  }
  // The user learns which candidates need a token, and which one.
  if (!tokens.empty()) {
    std::u16string line(kOnHardwareToken);
    for (std::size_t i = 0; i < tokens.size(); ++i) line += (i == 0 ? u"" : u", ") + tokens[i];
    texts_.information = texts_.information && !texts_.information->empty()
                             ? *texts_.information + u"\n" + line
                             : line;
  }
}

ChooserModel::~ChooserModel() {
  if (tempCertPath_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(tempCertPath_, ignored);
}

void ChooserModel::SortByColumn(int column) {
  if (column < 0 || column >= platform::kChooserColumns) return;
  const bool ascending = ascending_;
  std::stable_sort(
      rows_.begin(), rows_.end(),
      [column, ascending](const platform::ChooserRow& a, const platform::ChooserRow& b) {
        return ascending ? SortKey(a, column) < SortKey(b, column)
                         : SortKey(b, column) < SortKey(a, column);
      });
  ascending_ = !ascending_;
}

bool ChooserModel::Ok(std::optional<std::size_t> row, platform::ChooserHost& host) {
  if (!row || *row >= rows_.size()) {
    host.ShowMessage(kNoCertificateSelected);
    return false;
  }
  resultIndex_ = rows_[*row].candidate * kEntriesPerCandidate + (kEntriesPerCandidate - 1);
  return true;
}

void ChooserModel::View(std::optional<std::size_t> row, platform::ChooserHost& host) {
  if (!row || *row >= rows_.size()) {
    host.ShowMessage(kNoCertificateSelected);
    return;
  }
  const int first = rows_[*row].candidate * kEntriesPerCandidate;
  const platform::CertContextRef certificate =
      FindCertByIssuerSerial(stores_, list_->Bytes(first + 4), list_->Text(first + 3));
  if (!certificate) return;
  std::filesystem::path written;
  switch (WriteTempCertificate(certificate->certificate().Der(), written)) {
    case TempCertResult::kWritten:
      tempCertPath_ = std::move(written);
      host.OpenWithViewer(tempCertPath_);
      return;
    case TempCertResult::kFolderFailed:
      host.ShowMessage(kCreateTempFileFailed);
      return;
    case TempCertResult::kFileFailed:
      return;
  }
}

}  // namespace quorvel::certs
