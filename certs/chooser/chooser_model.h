// The logic of the certificate chooser, which every implementation of the
// platform's CertificateChooser (Qt, script, none) drives: the texts, the rows,
// sorting, the chosen candidate, and the view button with its temporary file.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "certs/candidate_list.h"
#include "platform/ui/ui_services.h"

namespace quorvel::certs {

inline constexpr std::u16string_view kNoCertificateSelected = u"No certificate selected.";
inline constexpr std::u16string_view kCreateTempFileFailed = u"Create temporary file failed";
// The line the information text gains when candidates are on hardware tokens,
// followed by the tokens' labels.
inline constexpr std::u16string_view kOnHardwareToken = u"On hardware token: ";

class ChooserModel final : public platform::ChooserLogic {
 public:
  // Borrows `stores` and `list` for its lifetime. The rows are built only when
  // the list holds exactly five entries per candidate; otherwise there are none.
  // When candidates are on hardware tokens, the information text gains a line
  // with the tokens' labels.
  ChooserModel(StoreSet stores, int candidates, const CandidateList* list,
               platform::ChooserTexts texts);
  ChooserModel(const ChooserModel&) = delete;
  ChooserModel& operator=(const ChooserModel&) = delete;
  // Removes the temporary certificate file of the view button; its folders stay.
  ~ChooserModel() override;

  const platform::ChooserTexts& texts() const override { return texts_; }
  const std::vector<platform::ChooserRow>& rows() const override { return rows_; }

  // Sorts by the texts of `column`, compared as code units (at most the first
  // 256 of each): ascending, then descending, alternating with every click on
  // any column.
  void SortByColumn(int column) override;

  // With a row: the choice is that row's candidate; the dialog ends. Without
  // one: "No certificate selected." and the dialog stays open.
  bool Ok(std::optional<std::size_t> row, platform::ChooserHost& host) override;

  // Writes the row's certificate to the temporary file and opens it with the
  // viewer. Without a row: "No certificate selected." and nothing is written. A
  // candidate that is no longer in the stores writes nothing and says nothing.
  void View(std::optional<std::size_t> row, platform::ChooserHost& host) override;

  // The chosen candidate's issuer-name position in the list (5k + 4), or -1.
  int resultIndex() const { return resultIndex_; }
  // The file the last view wrote; empty before any.
  const std::filesystem::path& tempCertPath() const { return tempCertPath_; }

 private:
  StoreSet stores_;
  const CandidateList* list_;
  platform::ChooserTexts texts_;
  std::vector<platform::ChooserRow> rows_;
  bool ascending_ = true;
  int resultIndex_ = -1;
  std::filesystem::path tempCertPath_;
};

}  // namespace quorvel::certs
