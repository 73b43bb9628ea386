#include "engine/cert_details.h"

#include "certs/cert_info.h"

namespace quorvel::engine {

CertDetails DetailsOf(const platform::CertContext& certificate) {
  CertDetails details;
  certs::CertInfoRecord record;
  if (certs::FillCertInfo(&certificate, &record) != err::kOk) return details;
  for (std::size_t i = 0; i < record.size(); ++i) details[i] = std::move(record[i]);
  return details;
}

}  // namespace quorvel::engine
