// The multi-image view: layout of the grid, hit testing, the selection through deletes, keys
// and clicks, playback by timer, and what a paint shows.
#include "mview_support.h"

using namespace mviewtest;

namespace {

using MViewLayout = MViewTest;

TEST_F(MViewLayout, GridWidthsAndCellHits) {
  TVistrelMView* v = MakeView(400, 300);
  AddItems(v, {clRed, clLime, clBlue, clYellow, clAqua, clFuchsia, clGray});
  // Three columns: item 4 is the second of the second row.
  v->SetGridWidth(3);
  EXPECT_EQ(v->ImageCol(4), 1);
  EXPECT_EQ(v->ImageRow(4), 1);
  EXPECT_EQ(v->ImageX(4), 4 + 104);
  EXPECT_EQ(v->ImageY(4), 4 + 104);
  EXPECT_EQ(v->ContentWidth(), 4 + 2 * 104 + 100 + 4);
  EXPECT_EQ(v->ContentHeight(), 4 + 2 * 104 + 100 + 4);
  EXPECT_EQ(v->MaxViewY(), 316 - 300);
  // Inside a cell, on its last pixel, and on the border between two cells.
  EXPECT_EQ(v->ImageAtPos(108 + 50, 108 + 50), 4);
  EXPECT_EQ(v->ImageAtPos(4 + 99, 4 + 99), 0);
  EXPECT_EQ(v->ImageAtPos(104, 50), -1);
  EXPECT_EQ(v->ImageAtPos(50, 105), -1);
  // 0: one row.
  v->SetGridWidth(0);
  EXPECT_EQ(v->ImageRow(6), 0);
  EXPECT_EQ(v->ImageX(6), 4 + 6 * 104);
  EXPECT_EQ(v->MaxViewX(), 4 + 6 * 104 + 104 - 400);
  // -1: as many as fit, (400 - 4) div 104 = 3; a client narrower than a cell fits none and
  // gives one row.
  v->SetGridWidth(-1);
  EXPECT_EQ(v->Columns(), 3);
  EXPECT_EQ(v->ImageRow(3), 1);
  v->SetWidth(90);
  EXPECT_EQ(v->Columns(), 0);
  EXPECT_EQ(v->ImageRow(6), 0);
  // Cells of no width with no border can't divide the client.
  v->SetThumbWidth(0);
  v->SetHorizBorder(0);
  EXPECT_EQ(v->Columns(), 0);
  EXPECT_EQ(v->ImageRow(6), 0);
}

TEST_F(MViewLayout, SelectionFollowsDeletesAndInserts) {
  TVistrelMView* v = MakeView(400, 300);
  AddItems(v, {clRed, clLime, clBlue, clYellow, clAqua});
  v->SelectImage(4);
  v->DeleteImage(4);  // the selected last one: the new last is selected
  EXPECT_EQ(v->SelectedImage(), 3);
  EXPECT_EQ(SelectedColour(v), clYellow);
  EXPECT_EQ(v->LastChange(), 2);
  EXPECT_EQ(v->LastChange(), 0);
  EXPECT_EQ(v->LastChangeIndex(), 4);
  v->SelectImage(2);
  v->DeleteImage(0);  // before the selection: the same picture stays selected
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(SelectedColour(v), clBlue);
  v->DeleteImage(1);  // the selected one in the middle: the next picture takes its place
  EXPECT_EQ(SelectedColour(v), clYellow);
  v->DeleteImage(7);  // no such item
  EXPECT_EQ(v->ImageCount(), 2);
  // An insertion in front of the selection selects the new, empty item; the old one is whole.
  v->InsertImage(0);
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(v->GetBitmap(), nullptr);
  v->SelectImage(2);
  EXPECT_EQ(SelectedColour(v), clYellow);
  v->Clear();
  EXPECT_EQ(v->ImageCount(), 0);
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_EQ(v->GetBitmap(), nullptr);
}

TEST_F(MViewLayout, KeysMoveTheSelectionAndScroll) {
  TVistrelMView* v = MakeView(320, 220);
  Word key = VK_RIGHT;
  v->KeyDown(key, 0);  // empty view: nothing
  AddItems(v, {clRed, clLime, clBlue, clYellow, clAqua, clFuchsia, clGray});
  v->SetGridWidth(3);
  v->Deselect();
  key = VK_DOWN;
  v->KeyDown(key, 0);  // no selection: nothing
  EXPECT_EQ(v->SelectedImage(), -1);
  key = VK_HOME;
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 0);
  key = VK_DOWN;
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 3);
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 6);
  // Row 2 ends at 4 + 3 x 104 = 316: scrolled so its bottom border shows.
  EXPECT_EQ(v->ViewY(), 316 - 220);
  v->KeyDown(key, 0);  // the last row: stays
  EXPECT_EQ(v->SelectedImage(), 6);
  key = VK_RIGHT;
  v->KeyDown(key, 0);  // past the last item: stays
  EXPECT_EQ(v->SelectedImage(), 6);
  key = VK_UP;
  v->KeyDown(key, 0);
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(v->ViewY(), 0);
  key = VK_LEFT;
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 0);
  // A page is 3 columns x (220 - 4) div 104 = 2 rows.
  key = VK_NEXT;
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 6);
  key = VK_PRIOR;
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 0);
  key = VK_END;
  v->KeyDown(key, 0);
  EXPECT_EQ(v->SelectedImage(), 6);
  // A selection handler that empties the view leaves the keys nothing to index.
  v->OnImageSelect = [v](TObject*, int) { v->Clear(); };
  key = VK_LEFT;
  v->KeyDown(key, 0);
  v->OnImageSelect = nullptr;
  EXPECT_EQ(v->ImageCount(), 0);
}

TEST_F(MViewLayout, PlaybackStepsWrapAndRestore) {
  TVistrelMView* v = MakeView(300, 200);
  AddItems(v, {clRed, clLime, clBlue});
  v->SetImageDelayTime(1, 30);
  v->SelectImage(2);
  int calls = 0;
  v->AddBitmapChangeEvent(TVLMethod::Make(this, 1, [&](TObject*) { ++calls; }));
  v->SetPlaying(true);
  EXPECT_TRUE(v->Playing());
  EXPECT_EQ(v->DisplayMode(), mdSingle);
  EXPECT_EQ(v->SelectedImage(), -1);
  // Frame 0 shows for the least time there is, 10 ms; frame 1 for its 30 ms.
  EXPECT_EQ(v->PlayTimer()->Interval(), 10u);
  EXPECT_TRUE(v->PlayTimer()->Enabled());
  EXPECT_EQ(v->CurrentFrame(), 1);
  TBitmap* shot = v->Surface();
  EXPECT_EQ(PixelOf(shot, 50, 50), clRed);
  v->SelectImage(1);  // frozen while playing
  EXPECT_EQ(v->SelectedImage(), -1);
  v->SetDisplayMode(mdGrid);  // waits for the end
  EXPECT_EQ(v->DisplayMode(), mdSingle);
  v->PlayTimer()->Timer();
  EXPECT_EQ(v->PlayTimer()->Interval(), 30u);
  EXPECT_EQ(PixelOf(shot, 50, 50), clLime);
  calls = 0;
  v->PlayTimer()->Timer();  // the last frame: back to the first, and the registry hears
  EXPECT_EQ(v->CurrentFrame(), 0);
  EXPECT_EQ(PixelOf(shot, 50, 50), clBlue);
  EXPECT_GE(calls, 1);
  v->PlayTimer()->Timer();
  EXPECT_EQ(v->CurrentFrame(), 1);
  EXPECT_EQ(PixelOf(shot, 50, 50), clRed);
  v->SetPlaying(false);
  EXPECT_FALSE(v->PlayTimer()->Enabled());
  EXPECT_EQ(v->DisplayMode(), mdGrid);
  EXPECT_EQ(v->SelectedImage(), 2);
  EXPECT_EQ(SelectedColour(v), clBlue);
  // An insertion stops playback.
  v->SetPlaying(true);
  v->InsertImage(0);
  EXPECT_FALSE(v->Playing());
}

TEST_F(MViewLayout, PaintShowsCellsFrameAndBackground) {
  TVistrelMView* v = MakeView(300, 200);
  v->SetBackground(clWhite);
  AddItems(v, {clRed, clBlue}, 40, 20);  // wider than high: centred vertically, grown to the cell
  v->SetImageBackground(1, clYellow);
  v->SetGridWidth(-1);
  v->SelectImage(1);
  v->Paint();
  TBitmap* s = v->Surface();
  // Item 0 at 4, 4: 100 x 50 picture, band of its background (the view's) above and below.
  EXPECT_EQ(PixelOf(s, 4, 4 + 25), clRed);
  EXPECT_EQ(PixelOf(s, 103, 4 + 74), clRed);
  EXPECT_EQ(PixelOf(s, 50, 4 + 10), clWhite);
  // Item 1 at 108, 4: its own background around the picture, and the frame around the cell:
  // one pixel without the focus.
  EXPECT_EQ(PixelOf(s, 150, 4 + 50), clBlue);
  EXPECT_EQ(PixelOf(s, 150, 4 + 5), clYellow);
  EXPECT_EQ(PixelOf(s, 107, 50), clRed);
  EXPECT_EQ(PixelOf(s, 208, 50), clRed);
  EXPECT_EQ(PixelOf(s, 150, 3), clRed);
  EXPECT_EQ(PixelOf(s, 106, 50), clWhite);
  // Between the cells and below them: the view's background.
  EXPECT_EQ(PixelOf(s, 2, 50), clWhite);
  EXPECT_EQ(PixelOf(s, 150, 150), clWhite);

  // Drawing progress: before each item, then 100.
  std::vector<std::pair<int, int>> seen;
  v->OnDrawProgress = [&](TObject*, int percent, int index) { seen.emplace_back(percent, index); };
  v->Paint();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 0}, {50, 1}, {100, 0}}));
}

TEST_F(MViewLayout, ClicksSelectAndDragsScroll) {
  TVistrelMView* v = MakeView(250, 200);
  AddItems(v, {clRed, clLime, clBlue, clYellow});
  v->SelectImage(0);
  std::vector<int> selected;
  v->OnImageSelect = [&](TObject*, int index) { selected.push_back(index); };
  v->MouseDown(mbLeft, 0, 120, 50);
  v->MouseUp(mbLeft, 0, 120, 50);
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(SelectedColour(v), clLime);
  // On the border between two cells: nothing new.
  v->MouseDown(mbLeft, 0, 210, 50);
  v->MouseUp(mbLeft, 0, 210, 50);
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(selected, (std::vector<int>{1, 1}));
  // With scrolling, a drag moves the origin by the way the mouse went.
  v->SetMouseInteract(mmiScroll);
  v->MouseDown(mbLeft, 0, 200, 50);
  v->SetMouseCapture(true);
  v->MouseMove(0, 150, 50);
  EXPECT_EQ(v->ViewX(), 50);
  v->MouseMove(0, -1000, 50);
  EXPECT_EQ(v->ViewX(), v->MaxViewX());
  v->SetMouseCapture(false);
  v->MouseUp(mbLeft, 0, 180, 50);
  EXPECT_EQ(v->ViewX(), 20);
}

TEST_F(MViewLayout, PicturesLoadWhenShownAndLeaveOutOfSight) {
  TVistrelMView* v = MakeView(120, 120);  // room for one cell and a part of the next
  for (int i = 0; i < 3; ++i) v->InsertImage(i);
  v->Deselect();
  v->SetImageFileName(0, Data("pages3.tif"));
  v->SetImageFileName(1, Data("missing.tif"));
  v->SetImageID(2, 7);
  TBitmap given;
  Fill(given, 10, 10, clBlue);
  int asked = -1;
  v->OnImageIDRequest = [&](TObject*, int id, TBitmap*& b) {
    asked = id;
    b = &given;
  };
  v->Paint();
  EXPECT_TRUE(v->HasImage(0));
  EXPECT_FALSE(v->HasImage(1));  // a file that isn't there: an empty cell
  EXPECT_FALSE(v->HasImage(2));
  EXPECT_EQ(asked, -1);
  EXPECT_NE(PixelOf(v->Surface(), 54, 50), ColorToRGB(v->Background()));
  // Scrolled to the end: the first picture leaves memory, the last is asked for.
  v->SetViewX(1000);
  v->Paint();
  EXPECT_FALSE(v->HasImage(0));
  EXPECT_TRUE(v->HasImage(2));
  EXPECT_EQ(asked, 7);
  EXPECT_EQ(PixelOf(v->Surface(), 212 - v->ViewX() + 50, 50), clBlue);
  v->SelectImage(1);
  EXPECT_EQ(v->GetBitmap(), nullptr);
  v->SelectImage(0);  // read again when it is needed
  ASSERT_NE(v->GetBitmap(), nullptr);
  EXPECT_EQ(v->GetBitmap()->Width(), 37);
  // Unlocked again, it is packed and can leave once more.
  v->SelectImage(2);
  v->Paint();
  EXPECT_FALSE(v->HasImage(0));
}

}  // namespace
