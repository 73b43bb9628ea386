// The certificate chooser on the module's dialog template 202: the list view
// of candidates with its small icons, OK, Cancel, the view button and the
// information text. What the rows are and what OK and view do is the
// chooser's logic; this shows it and forwards the user's actions.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <exception>
#include <optional>
#include <string>

#include "platform/ui/windows/windows_dialogs.h"

namespace quorvel::platform::windows {
namespace {

constexpr int kTemplate = 202;
constexpr int kList = 201;
constexpr int kView = 202;
constexpr int kPrompt = 203;
constexpr int kInformation = 204;
constexpr int kOrigin = 205;
constexpr int kRowIcon = 203;
constexpr int kManifest = 2;
constexpr int kColumnWidth = 140;
// The origin's line, in dialog units, below the template's controls.
constexpr RECT kOriginLine = {12, 198, 12 + 367, 198 + 10};
constexpr int kOriginExtraHeight = 13;

const wchar_t* OptionalText(const std::optional<std::u16string>& text) {
  return text ? Wide(*text) : L"";
}

// The module this code is in, which holds the template and icons.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// The module's manifest made active while the dialog is up, so that its list
// is drawn by version 6 of the common controls; nothing when it cannot be.
class ManifestContext {
 public:
  explicit ManifestContext(HMODULE module) {
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = module;
    context.lpResourceName = MAKEINTRESOURCEW(kManifest);
    handle_ = CreateActCtxW(&context);
    if (handle_ != INVALID_HANDLE_VALUE && ActivateActCtx(handle_, &cookie_) == 0) cookie_ = 0;
  }
  ManifestContext(const ManifestContext&) = delete;
  ManifestContext& operator=(const ManifestContext&) = delete;
  ~ManifestContext() {
    if (cookie_ != 0) DeactivateActCtx(0, cookie_);
    if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
};

class ChooserWindow final : public ChooserHost {
 public:
  ChooserWindow(ChooserLogic& logic, HMODULE module)
      : logic_(logic), module_(module), viewer_(MakeFileViewer()) {}

  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<ChooserWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    // Nothing may unwind through the platform's dialog code.
    try {
      return self->Handle(window, message, wParam, lParam);
    } catch (const std::exception&) {
      EndDialog(window, -1);
      return TRUE;
    }
  }

  void ShowMessage(std::u16string_view text) override {
    const std::u16string copy(text);
    MessageBoxW(window_, Wide(copy), L"", MB_OK);
  }

  bool OpenWithViewer(const std::filesystem::path& file) override {
    return viewer_->OpenWithViewer(file);
  }

 private:
  INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        window_ = window;
        list_ = GetDlgItem(window, kList);
        Initialise();
        SetFocus(list_);
        return FALSE;  // the focus is set
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDOK:
            if (logic_.Ok(SelectedRow(), *this)) EndDialog(window, IDOK);
            return TRUE;
          case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
          case kView:
            if (HIWORD(wParam) == BN_CLICKED) logic_.View(SelectedRow(), *this);
            return TRUE;
          default:
            return FALSE;
        }
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != kList) return FALSE;
        if (header->code == LVN_COLUMNCLICK) {
          logic_.SortByColumn(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
          ShowRows();
        } else if (header->code == NM_DBLCLK) {
          const int row = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
          if (row >= 0) logic_.View(static_cast<std::size_t>(row), *this);
        }
        return TRUE;
      }
      default:
        return FALSE;
    }
  }

  void Initialise() {
    const ChooserTexts& texts = logic_.texts();
    const std::u16string caption(kChooserDefaultCaption);
    SetWindowTextW(window_, texts.title ? Wide(*texts.title) : Wide(caption));

    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 1);
    if (auto icon = static_cast<HICON>(
            LoadImageW(module_, MAKEINTRESOURCEW(kRowIcon), IMAGE_ICON, 16, 16, 0))) {
      ImageList_AddIcon(images, icon);
      DestroyIcon(icon);
    }
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
    // The list destroys its image list with itself.
    ListView_SetImageList(list_, images, LVSIL_SMALL);
    const std::optional<std::u16string>* headings[] = {&texts.subjectHeading, &texts.issuerHeading,
                                                       &texts.notAfterHeading};
    for (int column = 0; column < kChooserColumns; ++column) {
      LVCOLUMNW entry{};
      entry.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
      entry.fmt = LVCFMT_CENTER;
      entry.cx = kColumnWidth;
      entry.pszText = const_cast<wchar_t*>(OptionalText(*headings[column]));
      ListView_InsertColumn(list_, column, &entry);
    }
    ShowRows();

    SetDlgItemTextW(window_, kPrompt, OptionalText(texts.prompt));
    SetDlgItemTextW(window_, IDOK, OptionalText(texts.okCaption));
    SetDlgItemTextW(window_, IDCANCEL, OptionalText(texts.cancelCaption));
    SetDlgItemTextW(window_, kView, OptionalText(texts.viewCaption));
    SetDlgItemTextW(window_, kInformation, OptionalText(texts.information));
    if (!texts.origin.empty()) ShowOrigin(texts.origin);
    Centre();
  }

  // A page's origin on a line of its own below everything else.
  void ShowOrigin(const std::u16string& origin) {
    RECT line = kOriginLine;
    MapDialogRect(window_, &line);
    RECT extra = {0, 0, 0, kOriginExtraHeight};
    MapDialogRect(window_, &extra);
    RECT frame{};
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + extra.bottom, SWP_NOMOVE | SWP_NOZORDER);
    const std::u16string text = u"网页 Web page: " + VisibleText(DisplayedOrigin(origin));
    HWND label =
        CreateWindowExW(0, L"STATIC", Wide(text), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, line.left,
                        line.top, line.right - line.left, line.bottom - line.top, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOrigin)), module_, nullptr);
    if (label != nullptr)
      SendMessageW(label, WM_SETFONT, SendMessageW(window_, WM_GETFONT, 0, 0), 0);
  }

  // Over the owner when it is visible, else over the screen's work area.
  void Centre() {
    RECT area{};
    HWND owner = GetWindow(window_, GW_OWNER);
    if (owner == nullptr || !IsWindowVisible(owner) || GetWindowRect(owner, &area) == 0) {
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT frame{};
    GetWindowRect(window_, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }

  void ShowRows() {
    ListView_DeleteAllItems(list_);
    const std::vector<ChooserRow>& rows = logic_.rows();
    for (std::size_t index = 0; index < rows.size(); ++index) {
      const int row = static_cast<int>(index);
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
      item.iItem = row;
      item.iImage = 0;
      item.lParam = row;
      item.pszText = const_cast<wchar_t*>(Wide(rows[index].subject));
      if (ListView_InsertItem(list_, &item) != row) continue;
      for (int column = 1; column < kChooserColumns; ++column) {
        ListView_SetItemText(list_, row, column,
                             const_cast<wchar_t*>(Wide(rows[index].Column(column))));
      }
    }
  }

  std::optional<std::size_t> SelectedRow() const {
    const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (row < 0) return std::nullopt;
    return static_cast<std::size_t>(row);
  }

  ChooserLogic& logic_;
  HMODULE module_;
  std::shared_ptr<FileViewer> viewer_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
};

class WindowsChooser final : public CertificateChooser {
 public:
  DialogOutcome ShowChooser(ChooserLogic& logic) override {
    const HMODULE module = ThisModule();
    if (module == nullptr || FindResourceW(module, MAKEINTRESOURCEW(kTemplate),
                                           MAKEINTRESOURCEW(5) /* RT_DIALOG */) == nullptr) {
      return DialogOutcome::kFailed;
    }
    const ManifestContext manifest(module);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    ChooserWindow window(logic, module);
    const INT_PTR ended =
        DialogBoxParamW(module, MAKEINTRESOURCEW(kTemplate), GetActiveWindow(),
                        &ChooserWindow::Procedure, reinterpret_cast<LPARAM>(&window));
    return ended == IDOK       ? DialogOutcome::kChosen
           : ended == IDCANCEL ? DialogOutcome::kCancelled
                               : DialogOutcome::kFailed;
  }
};

}  // namespace

std::shared_ptr<CertificateChooser> MakeChooser() {
  return std::make_shared<WindowsChooser>();
}

}  // namespace quorvel::platform::windows
