#include "game/level_editor.h"

#include <algorithm>

#include "display/dxdraw.h"
#include "display/imagelist.h"
#include "game/globals.h"
#include "game/main_form.h"
#include "platform/keys.h"
#include "toolkit/canvas.h"
#include "toolkit/errors.h"
#include "toolkit/translate.h"

using game::CellRule;
using toolkit::Tr;
using toolkit::TrLater;

namespace {

const char* const kFace = "Comic Sans MS";
// The palette band above row 0 and the information band below the paddle's line.
constexpr int kPaletteBottom = 96;
constexpr int kInfoTop = 548;
constexpr TColor kBandColor = RGB(24, 24, 48);
constexpr TColor kTextColor = RGB(230, 230, 230);
constexpr TColor kDimText = RGB(160, 170, 200);
constexpr TColor kMarkColor = RGB(255, 220, 0);
constexpr TColor kRefuseColor = RGB(255, 60, 60);

// A few words on each brick type: its points and what it does.
struct TypeWords {
  const char* points;
  const char* line1;
  const char* line2;
};
constexpr TypeWords kWords[10] = {
    {"", "", ""},
    {TrLater("4 очка"), TrLater("простой"), ""},
    {TrLater("7 очков"), TrLater("простой"), ""},
    {TrLater("10 очков"), TrLater("взрываясь,"), TrLater("бьёт соседей")},
    {TrLater("13 очков"), TrLater("простой,"), TrLater("без бонусов")},
    {TrLater("16 очков"), TrLater("мяч не бьёт,"), TrLater("а делает 4-м")},
    {TrLater("19 очков"), TrLater("простой"), ""},
    {TrLater("22 очка"), TrLater("простой"), ""},
    {TrLater("25 очков"), TrLater("простой"), ""},
    {TrLater("28 очков"), TrLater("простой"), ""},
};

std::string LevelFileShort(int level) { return "lev" + std::to_string(level) + ".lev"; }

// "1 кирпич", "2 кирпича", "5 кирпичей" (the word in the player's language).
std::string Bricks(int n) {
  return std::to_string(n) + " " + toolkit::TrCount(n, "кирпич", "кирпича", "кирпичей");
}

std::string JoinLevels(const std::vector<int>& levels) {
  std::string s;
  for (int n : levels) s += (s.empty() ? "" : ", ") + std::to_string(n);
  return s;
}

}  // namespace

TLevelEditor::TLevelEditor(TMainForm* form, const std::string& folder)
    : TComponent(form), Model(form->W(), form->H(), static_cast<int>(PaddleY)), form_(form) {
  Name = "LevelEditor";
  Model.Open(folder);

  // The question's panel and its controls belong to the editor (their parent is the window): they
  // go with it, so an editor opened again leaves no buttons that would call a freed one.
  Question = new TPanel(this);
  Question->Name = "EditorQuestion";
  Question->SetParent(form);
  Question->SetBounds(150, 235, 500, 110);
  Question->SetVisible(false);
  QuestionText = new TLabel(this);
  QuestionText->SetParent(Question);
  QuestionText->SetBounds(16, 16, 468, 40);
  QuestionText->Transparent = true;
  auto button = [&](const char* caption, int left, int choice) {
    auto* b = new TButton(this);
    b->SetParent(Question);
    b->SetBounds(left, 66, 140, 28);
    b->SetCaption(caption);
    b->OnClick = [this, choice](TObject*) { Answer(choice); };
    return b;
  };
  SaveAllButton = button(Tr("Сохранить"), 20, 1);
  DiscardButton = button(Tr("Не сохранять"), 180, 2);
  StayButton = button(Tr("Остаться"), 340, 0);

  form->DXDraw->SetCursor(crDefault);
  form->Mode = this;
  ShowLevel(1);
  if (LevelWarning(1).empty())
    SetStatus(Tr("Левая кнопка ставит кирпич, правая стирает; 1–9 выбирают тип; F5 — проверка."));
}

TLevelEditor::~TLevelEditor() {
  if (form_->Mode == this) form_->Mode = nullptr;
}

bool TLevelEditor::MayClose() {
  if (leaving_ || Model.ModifiedLevels().empty()) return true;
  if (!testing_) {
    Leave();
    return false;
  }
  // Closed during a test play: the play ends as Escape ends it, then the question comes.
  askAfterTest_ = true;
  Lives = 0;
  LoseBall = true;
  ReturnToMenu = true;
  GameState = gsMenu;
  return false;
}

bool TLevelEditor::TakeKey(int key, TShiftState shift) {
  if (testing_) return false;
  if (KeyDown(key, shift)) return true;
  if (shift.Contains(ssAlt) && key == platform::VK_RETURN) {
    form_->SwitchDisplayMode();
    form_->DXDraw->SetCursor(crDefault);
  }
  return true;
}

bool TLevelEditor::TakeChar(char32_t) { return !testing_; }

void TLevelEditor::SetStatus(std::string text, bool warning) {
  status_ = std::move(text);
  statusWarns_ = warning;
}

void TLevelEditor::Select(int type) {
  if (type < 1 || type > 9) return;
  selected_ = type;
  SetStatus(Format(Tr("Тип %d: %s, %s"), type, Tr(kWords[type].points), Tr(kWords[type].line1)) +
            (kWords[type].line2[0] ? std::string(" ") + Tr(kWords[type].line2) : ""));
}

std::string TLevelEditor::LevelWarning(int level) const {
  const game::LevelReport& r = Model.Report(level);
  std::string w;
  if (r.missing && !r.reason.empty()) {
    w = Format(Tr("Файл %s не прочитан (%s): уровень пуст."), LevelFileShort(level).c_str(),
               r.reason.c_str());
  } else if (r.missing) {
    w = Format(Tr("Файла %s нет: уровень пуст."), LevelFileShort(level).c_str());
  } else if (r.inexact) {
    w = Format(Tr("Файл %s повреждён: показано то, что из него прочтёт игра."),
               LevelFileShort(level).c_str());
  }
  const int outside = Model.OutsideCount(level);
  if (outside > 0) {
    if (!w.empty()) w += " ";
    w += Format(Tr("%s вне поля (Delete их убирает)."), Bricks(outside).c_str());
  }
  return w;
}

void TLevelEditor::ShowLevel(int level) {
  Model.SetLevel(level);
  dragButton_ = -1;
  lastCellSet_ = false;
  const std::string w = LevelWarning(Model.Level());
  if (w.empty()) {
    SetStatus(Format(Tr("Уровень %d."), Model.Level()));
  } else {
    SetStatus(Format(Tr("Внимание! %s"), w.c_str()), true);
  }
}

bool TLevelEditor::SaveLevel() {
  std::string error;
  const int level = Model.Level();
  switch (Model.Save(level, error)) {
    case game::SaveResult::Saved:
      SetStatus(Format(Tr("Сохранено: %s"), Model.FilePath(level).c_str()));
      return true;
    case game::SaveResult::Empty:
      SetStatus(Tr("Не сохранено: на уровне нет ни одного кирпича, его нельзя пройти."), true);
      break;
    case game::SaveResult::Unreachable:
      SetStatus(Format(Tr("Не сохранено: %s вне поля, их не разбить, и уровень нельзя пройти "
                          "(Delete их убирает)."),
                       Bricks(Model.OutsideCount(level)).c_str()),
                true);
      break;
    case game::SaveResult::TooMany:
      SetStatus(Format(Tr("Не сохранено: в уровне больше %d кирпичей."), game::kMaxLevelBricks),
                true);
      break;
    case game::SaveResult::Failed:
      SetStatus(Format(Tr("Не сохранено: %s"), error.c_str()), true);
      break;
  }
  return false;
}

void TLevelEditor::TestPlay() {
  const auto& bricks = Model.Bricks();
  if (Model.OutsideCount(Model.Level()) == static_cast<int>(bricks.size())) {
    SetStatus(Tr("Нечего проверять: на поле нет кирпичей."));
    return;
  }
  if (Model.InStroke()) Model.EndStroke();
  dragButton_ = -1;
  testing_ = true;
  form_->DXDraw->SetCursor(crNone);
  form_->StartTestPlay(bricks, Model.Level(), [this] { TestPlayEnded(); });
}

void TLevelEditor::TestPlayEnded() {
  testing_ = false;
  form_->DXDraw->SetCursor(crDefault);
  SetStatus(Format(Tr("Проверка окончена, счёт %d. Уровень не изменился."), Score));
  if (askAfterTest_) {
    askAfterTest_ = false;
    Leave();
  }
}

void TLevelEditor::Leave() {
  const std::vector<int> modified = Model.ModifiedLevels();
  if (modified.empty()) {
    leaving_ = true;
    form_->Close();
    return;
  }
  dragButton_ = -1;
  if (Model.InStroke()) Model.EndStroke();
  QuestionText->SetCaption(Format(modified.size() == 1
                                      ? Tr("Уровень %s не сохранён. Сохранить перед выходом?")
                                      : Tr("Уровни %s не сохранены. Сохранить перед выходом?"),
                                  JoinLevels(modified).c_str()));
  Question->SetVisible(true);
  SetStatus(Tr("Enter — сохранить и выйти, N — выйти без сохранения, Esc — остаться."));
}

void TLevelEditor::Answer(int choice) {
  Question->SetVisible(false);
  if (choice == 0) {
    SetStatus(Tr("Выход отменён."));
    return;
  }
  if (choice == 1) {
    const int current = Model.Level();
    for (int level : Model.ModifiedLevels()) {
      Model.SetLevel(level);
      if (!SaveLevel()) return;  // the level that failed stays on screen with its reason
    }
    Model.SetLevel(current);
  }
  leaving_ = true;
  form_->Close();
}

bool TLevelEditor::KeyDown(int key, TShiftState shift) {
  using namespace platform;
  if (testing_) return false;
  if (Asking()) {
    if (key == VK_RETURN || key == 'Y') Answer(1);
    if (key == 'N') Answer(2);
    if (key == VK_ESCAPE) Answer(0);
    return true;
  }
  if (shift.Contains(ssAlt)) return false;
  if (shift.Contains(ssCtrl)) {
    if (key == 'Z' && !shift.Contains(ssShift)) {
      SetStatus(Model.Undo() ? Tr("Отменено.") : Tr("Отменять нечего."));
    } else if (key == 'Y' || (key == 'Z' && shift.Contains(ssShift))) {
      SetStatus(Model.Redo() ? Tr("Повторено.") : Tr("Повторять нечего."));
    } else if (key == 'S') {
      SaveLevel();
    } else {
      return false;
    }
    return true;
  }
  if (key >= '1' && key <= '9') {
    Select(key - '0');
  } else if (key >= VK_NUMPAD1 && key <= VK_NUMPAD9) {
    Select(key - VK_NUMPAD0);
  } else if (key == VK_PRIOR || key == VK_LEFT || key == VK_UP) {
    ShowLevel(Model.Level() - 1);
  } else if (key == VK_NEXT || key == VK_RIGHT || key == VK_DOWN) {
    ShowLevel(Model.Level() + 1);
  } else if (key == VK_F1 + 4) {
    TestPlay();
  } else if (key == VK_DELETE) {
    const int n = Model.DropOutside();
    SetStatus(n > 0 ? Format(Tr("Убрано %s вне поля."), Bricks(n).c_str())
                    : std::string(Tr("Вне поля кирпичей нет.")));
  } else if (key == VK_ESCAPE) {
    Leave();
  } else {
    return false;
  }
  return true;
}

TRect TLevelEditor::PaletteRect(int type) { return Bounds(4 + 88 * (type - 1), 2, 86, 92); }

void TLevelEditor::MouseDown(TMouseButton button, int x, int y) {
  if (testing_ || Asking()) return;
  hover_ = true;
  hoverX_ = x;
  hoverY_ = y;
  if (y < kPaletteBottom) {
    for (int t = 1; t <= 9; ++t) {
      const TRect r = PaletteRect(t);
      if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) Select(t);
    }
    return;
  }
  if (button != mbLeft && button != mbRight) return;
  dragButton_ = button;
  lastCellSet_ = false;
  Model.BeginStroke();
  Apply(x, y);
}

void TLevelEditor::MouseMove(int x, int y) {
  if (testing_) return;
  hover_ = x >= 0 && y >= 0 && x < form_->W() && y < form_->H();
  hoverX_ = x;
  hoverY_ = y;
  if (dragButton_ >= 0 && !Asking()) Apply(x, y);
}

void TLevelEditor::MouseUp(TMouseButton button, int x, int y) {
  if (testing_ || dragButton_ != button) return;
  MouseMove(x, y);
  dragButton_ = -1;
  Model.EndStroke();
}

void TLevelEditor::Apply(int x, int y) {
  int column = 0, row = 0;
  game::CellAt(x, y, column, row);
  // A drag visits each cell once until it leaves it.
  if (lastCellSet_ && column == lastColumn_ && row == lastRow_) return;
  lastCellSet_ = true;
  lastColumn_ = column;
  lastRow_ = row;
  const CellRule rule = Model.Rule(column, row);
  if (rule == CellRule::Free) {
    if (dragButton_ == mbLeft) {
      Model.Place(column, row, selected_);
    } else {
      Model.Erase(column, row);
    }
    return;
  }
  // Erasing where nothing can stand has nothing to say; placing there says why not.
  if (dragButton_ != mbLeft) return;
  switch (rule) {
    case CellRule::AboveField:
      SetStatus(Tr("Выше ряда 0 кирпич не ставится: там в игре счёт и жизни."));
      break;
    case CellRule::OutsideField:
      SetStatus(Tr("Клетка выходит за видимое поле."));
      break;
    case CellRule::PaddleZone:
      SetStatus(Tr("Клетка задевает зону ракетки: ниже ряда 20 кирпич не ставится."));
      break;
    case CellRule::NoSuchType:
    case CellRule::Free:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Drawing

bool TLevelEditor::Paint(TDirectDrawSurface* back) {
  if (testing_) return false;  // the test play is the game's own frame
  TDXImageList* images = form_->ImageList;
  // The field's background, tiled from the top-left corner as the game's background sprite is.
  TPictureCollectionItem* bg = images->FindImage("background");
  const int tw = bg->Width(), th = bg->Height();
  if (tw > 0 && th > 0) {
    for (int y = 0; y < back->Height(); y += th)
      for (int x = 0; x < back->Width(); x += tw) bg->Draw(back, x, y, 0);
  } else {
    back->Fill(0);
  }
  // The bricks in their first pictures, where the game puts them.
  for (const game::LevelBrick& b : Model.Bricks()) {
    TPictureCollectionItem* pic = form_->GameImage("kirp", b.type * 10 + 1);
    const int64_t x = game::CellX(0) + int64_t{pic->Width()} * b.column;
    const int64_t y = game::CellY(0) + int64_t{pic->Height()} * b.row;
    if (x > -pic->Width() && x < back->Width() && y > -pic->Height() && y < back->Height())
      pic->Draw(back, static_cast<int>(x), static_cast<int>(y), 0);
  }
  // The paddle where a serve starts, on its line.
  const int paddleTop = static_cast<int>(PaddleY);
  form_->GameImage("pod", 3)->Draw(back, 15, paddleTop, 0);

  TCanvas& c = *back->Canvas();
  for (int x = 0; x < back->Width(); x += 12) c.HLine(x, x + 6, paddleTop - 1, kMarkColor);
  if (hover_ && !testing_ && hoverY_ >= kPaletteBottom && hoverY_ < kInfoTop) {
    int column = 0, row = 0;
    game::CellAt(hoverX_, hoverY_, column, row);
    c.Brush.Style = bsClear;
    c.Pen.Color = Model.Rule(column, row) == CellRule::Free ? clWhite : kRefuseColor;
    c.Rectangle(game::CellX(column), game::CellY(row), game::CellX(column) + game::kCellWidth,
                game::CellY(row) + game::kCellHeight);
    c.Brush.Style = bsSolid;
  }
  back->ReleaseCanvas();

  PaintPalette(back);
  PaintInfo(back);
  form_->DXDraw->Flip();
  return true;
}

void TLevelEditor::PaintPalette(TDirectDrawSurface* back) {
  back->FillRect(TRect{0, 0, back->Width(), kPaletteBottom}, back->ColorMatch(kBandColor));
  for (int t = 1; t <= 9; ++t) {
    const TRect r = PaletteRect(t);
    form_->GameImage("kirp", t * 10 + 1)->Draw(back, r.Left + 18, r.Top + 4, 0);
  }
  TCanvas& c = *back->Canvas();
  c.Font.Name = kFace;
  c.Brush.Style = bsClear;
  for (int t = 1; t <= 9; ++t) {
    const TRect r = PaletteRect(t);
    if (t == selected_) {
      c.Pen.Color = kMarkColor;
      c.Rectangle(r);
    }
    c.Font.Size = 8;
    c.Font.Bold = true;
    c.Font.Color = t == selected_ ? kMarkColor : kTextColor;
    c.TextOut(r.Left + 4, r.Top + 4, std::to_string(t));
    c.Font.Bold = false;
    c.TextOutFitted(r.Left + 6, r.Top + 28, Tr(kWords[t].points), r.Width() - 8);
    c.Font.Color = kDimText;
    c.Font.Size = 7;
    c.TextOutFitted(r.Left + 6, r.Top + 46, Tr(kWords[t].line1), r.Width() - 8);
    c.TextOutFitted(r.Left + 6, r.Top + 60, Tr(kWords[t].line2), r.Width() - 8);
  }
  c.Brush.Style = bsSolid;
  back->ReleaseCanvas();
}

void TLevelEditor::PaintInfo(TDirectDrawSurface* back) {
  back->FillRect(TRect{0, kInfoTop, back->Width(), back->Height()}, back->ColorMatch(kBandColor));
  TCanvas& c = *back->Canvas();
  c.Font.Name = kFace;
  c.Brush.Style = bsClear;
  c.Font.Size = 9;
  c.Font.Bold = true;
  c.Font.Color = kMarkColor;
  const int level = Model.Level();
  std::string head = Format(Tr("Уровень %d из 20"), level) + "   " +
                     Bricks(static_cast<int>(Model.Bricks().size())) +
                     (Model.Modified(level) ? std::string("   ") + Tr("* изменён") : "");
  c.TextOut(6, kInfoTop + 3, head);
  int x = 6 + c.TextWidth(head) + 18;
  c.Font.Bold = false;
  c.Font.Color = kTextColor;
  // The file's name, shortened from the left when the folder's path is long.
  std::string file = Model.FilePath(level);
  if (hover_ && hoverY_ >= kPaletteBottom && hoverY_ < kInfoTop) {
    int column = 0, row = 0;
    game::CellAt(hoverX_, hoverY_, column, row);
    const std::string cell = Format(Tr("столбец %d, ряд %d"), column, row);
    c.Font.Color = kDimText;
    c.TextOut(back->Width() - 6 - c.TextWidth(cell), kInfoTop + 3, cell);
    c.Font.Color = kTextColor;
  }
  const int room = back->Width() - 160 - x;
  while (file.size() > 8 && c.TextWidth(file) > room) {
    size_t cut = file.find('/', 4);
    file = cut == std::string::npos ? file.substr(file.size() / 2) : "…" + file.substr(cut);
    if (cut == std::string::npos) break;
  }
  c.TextOut(x, kInfoTop + 3, file);
  c.Font.Color = statusWarns_ ? RGB(255, 140, 120) : kTextColor;
  c.TextOutFitted(6, kInfoTop + 26, status_, back->Width() - 12);
  c.Brush.Style = bsSolid;
  back->ReleaseCanvas();
}
