#include "platform/ui/qt/chooser_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QUrl>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/qt_text.h"

namespace quorvel::platform::qt {
namespace {

constexpr int kColumnWidth = 140;
constexpr int kCandidateRole = Qt::UserRole;

QString OptionalText(const std::optional<std::u16string>& text) {
  return text ? ToQString(*text) : QString();
}

// Converts the template's dialog units to pixels of `font`: a horizontal unit
// is a quarter of the average character width, a vertical one an eighth of
// the character height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    baseY_ = metrics.height();
  }
  QRect Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
  }
  int X(int units) const { return units * baseX_ / 4; }
  int Y(int units) const { return units * baseY_ / 8; }

 private:
  int baseX_ = 6;
  int baseY_ = 13;
};

// A small certificate icon for the rows: a sheet with a ribbon seal.
QIcon CertificateIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QColor(90, 90, 90));
  painter.setBrush(QColor(250, 248, 235));
  painter.drawRect(1, 2, 13, 10);
  painter.setPen(QColor(140, 140, 140));
  painter.drawLine(3, 5, 10, 5);
  painter.drawLine(3, 7, 8, 7);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(200, 40, 40));
  painter.drawEllipse(QPointF(11.5, 11.5), 3, 3);
  return QIcon(pixmap);
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, const QRect& place) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(place);
  return button;
}

}  // namespace

ChooserDialog::ChooserDialog(ChooserLogic& logic, QWidget* owner) : QDialog(owner), logic_(logic) {
  const ChooserTexts& texts = logic_.texts();
  setFont(DialogFont());
  const DialogUnits units(font());
  setWindowTitle(texts.title ? ToQString(*texts.title) : ToQString(kChooserDefaultCaption));
  setFixedSize(units.X(391), units.Y(texts.origin.empty() ? 209 : 222));
  setWindowFlags((windowFlags() | Qt::WindowCloseButtonHint) & ~Qt::WindowContextHelpButtonHint);

  if (!texts.origin.empty()) {
    auto* origin = new QLabel(
        ToQString(u"网页 Web page: " + VisibleText(DisplayedOrigin(texts.origin))), this);
    origin->setObjectName(QStringLiteral("origin"));
    origin->setTextFormat(Qt::PlainText);
    origin->setGeometry(units.Rect(12, 198, 367, 10));
  }

  auto* prompt = new QLabel(OptionalText(texts.prompt), this);
  prompt->setObjectName(QLatin1String(kPrompt));
  prompt->setGeometry(units.Rect(12, 6, 305, 8));
  prompt->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QLatin1String(kList));
  list_->setGeometry(units.Rect(12, 17, 305, 118));
  list_->setColumnCount(kChooserColumns);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSortingEnabled(false);
  list_->setIconSize(QSize(16, 16));
  auto* heading = new QTreeWidgetItem;
  const std::optional<std::u16string>* headings[] = {&texts.subjectHeading, &texts.issuerHeading,
                                                     &texts.notAfterHeading};
  for (int column = 0; column < kChooserColumns; ++column) {
    heading->setText(column, OptionalText(*headings[column]));
    heading->setTextAlignment(column, Qt::AlignCenter);
  }
  list_->setHeaderItem(heading);
  QHeaderView* header = list_->header();
  header->setStretchLastSection(false);
  header->setSectionsClickable(true);
  header->setSectionsMovable(false);
  header->setDefaultAlignment(Qt::AlignCenter);
  for (int column = 0; column < kChooserColumns; ++column) {
    header->resizeSection(column, kColumnWidth);
  }

  QPushButton* ok = Button(this, kOk, OptionalText(texts.okCaption), units.Rect(326, 17, 54, 14));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  QPushButton* cancel =
      Button(this, kCancel, OptionalText(texts.cancelCaption), units.Rect(326, 49, 54, 14));
  QPushButton* view =
      Button(this, kView, OptionalText(texts.viewCaption), units.Rect(326, 178, 54, 14));
  cancel->setAutoDefault(false);
  view->setAutoDefault(false);

  auto* information = new QPlainTextEdit(OptionalText(texts.information), this);
  information->setObjectName(QLatin1String(kInformation));
  information->setGeometry(units.Rect(12, 155, 305, 37));
  information->setLineWrapMode(QPlainTextEdit::NoWrap);

  setTabOrder(ok, cancel);
  setTabOrder(cancel, list_);
  setTabOrder(list_, view);
  setTabOrder(view, information);

  ShowRows();
  // The list takes the keys when the dialog opens: arrows move the selection,
  // Enter presses the default button.
  list_->setFocus(Qt::OtherFocusReason);

  connect(ok, &QPushButton::clicked, this, [this] {
    if (logic_.Ok(SelectedRow(), *this)) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(view, &QPushButton::clicked, this, [this] { logic_.View(SelectedRow(), *this); });
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    logic_.SortByColumn(column);
    ShowRows();
  });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    const int row = list_->indexOfTopLevelItem(item);
    if (row >= 0) logic_.View(static_cast<std::size_t>(row), *this);
  });
}

// Shows the logic's rows in its order; the selected candidate stays selected.
void ChooserDialog::ShowRows() {
  std::optional<int> selected;
  if (const std::optional<std::size_t> row = SelectedRow()) {
    selected = list_->topLevelItem(static_cast<int>(*row))->data(0, kCandidateRole).toInt();
  }
  list_->clear();
  static const QIcon icon = CertificateIcon();
  for (const ChooserRow& row : logic_.rows()) {
    auto* item = new QTreeWidgetItem(list_);
    item->setIcon(0, icon);
    item->setData(0, kCandidateRole, row.candidate);
    for (int column = 0; column < kChooserColumns; ++column) {
      item->setText(column, ToQString(row.Column(column)));
      item->setTextAlignment(column, Qt::AlignCenter);
    }
    if (selected == row.candidate) list_->setCurrentItem(item);
  }
}

std::optional<std::size_t> ChooserDialog::SelectedRow() const {
  const QList<QTreeWidgetItem*> items = list_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const int row = list_->indexOfTopLevelItem(items.front());
  if (row < 0) return std::nullopt;
  return static_cast<std::size_t>(row);
}

void ChooserDialog::ShowMessage(std::u16string_view text) {
  QMessageBox box(QMessageBox::NoIcon, QString(), ToQString(text), QMessageBox::Ok, this);
  box.exec();
}

bool ChooserDialog::OpenWithViewer(const std::filesystem::path& file) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(file.c_str())));
}

void ChooserDialog::Centre() {
  const QWidget* owner = parentWidget();
  QRect area;
  if (owner != nullptr && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - rect().center());
}

DialogOutcome QtCertificateChooser::ShowChooser(ChooserLogic& logic) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return DialogOutcome::kFailed;
  }
  ChooserDialog dialog(logic, QApplication::activeWindow());
  dialog.Centre();
  return dialog.exec() == QDialog::Accepted ? DialogOutcome::kChosen : DialogOutcome::kCancelled;
}

}  // namespace quorvel::platform::qt
