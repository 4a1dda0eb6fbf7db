// The thirteen cursors of the views and the editor's tools: small images of our own for the
// magnifiers, the eraser and the pen, the platform's shapes for the rest.
#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <iterator>
#include <string>
#include <vector>

#include "vistrel/view/vistrelview.h"

namespace {
// 16 x 16, '#' black, '.' white, ' ' transparent.
const char* const kZoomOut[] = {"16 16 3 1",        "  c None",         "# c #000000",      ". c #FFFFFF",
                                "    ####        ", "  ##....##      ", " #........#     ", " #........#     ",
                                "#..........#    ", "#.########.#    ", "#.########.#    ", "#..........#    ",
                                " #........#     ", " #........#     ", "  ##....####    ", "    ####  ###   ",
                                "           ###  ", "            ### ", "             ###", "              ##"};

const char* const kEraser[] = {"16 16 3 1",        "  c None",         "# c #000000",      ". c #FFFFFF",
                               "                ", "       ######## ", "      #.......# ", "     #.......## ",
                               "    #.......#.# ", "   #.......#..# ", "  #.......#..#  ", " ########...#   ",
                               " #......#..#    ", " #......#.#     ", " #......##      ", " ########       ",
                               "                ", "                ", "                ", "                "};

const char* const kPen[] = {"16 16 3 1",        "  c None",         "# c #000000",      ". c #FFFFFF",
                            "            ##  ", "           #..# ", "          #...# ", "         #...#  ",
                            "        #...#   ", "       #...#    ", "      #...#     ", "     #...#      ",
                            "    #...#       ", "   #...#        ", "  #...#         ", "  #..#          ",
                            " #.##           ", " ##             ", "#               ", "                "};

QCursor ImageCursor(const char* const* xpm, int hx, int hy) { return QCursor(QPixmap(xpm), hx, hy); }

// The zoom-in magnifier: the zoom-out one with the upright stroke of a plus in its lens.
QCursor ZoomInCursor() {
  std::vector<std::string> rows(std::begin(kZoomOut), std::end(kZoomOut));
  for (int y = 2; y <= 9; ++y) rows[size_t(4 + y)].replace(5, 2, "##");
  std::vector<const char*> xpm;
  for (const std::string& r : rows) xpm.push_back(r.c_str());
  return ImageCursor(xpm.data(), 5, 5);
}
}  // namespace

void VLLoadCursors() {
  static TScreen* loadedFor = nullptr;
  if (!Screen || Screen == loadedFor || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  loadedFor = Screen;
  Screen->SetCursorImage(crVLZoomOut, ImageCursor(kZoomOut, 5, 5));
  Screen->SetCursorImage(crVLZoomIn, ZoomInCursor());
  Screen->SetCursorImage(crVLCross, QCursor(Qt::CrossCursor));
  Screen->SetCursorImage(crVLEraser, ImageCursor(kEraser, 2, 11));
  Screen->SetCursorImage(crVLHand, QCursor(Qt::OpenHandCursor));
  Screen->SetCursorImage(crVLPen, ImageCursor(kPen, 0, 14));
  Screen->SetCursorImage(crVLCross1, QCursor(Qt::CrossCursor));
  Screen->SetCursorImage(crVLCross2, QCursor(Qt::CrossCursor));
  Screen->SetCursorImage(crVLMove2, QCursor(Qt::SizeFDiagCursor));
  Screen->SetCursorImage(crVLMoveY, QCursor(Qt::SizeVerCursor));
  Screen->SetCursorImage(crVLMove1, QCursor(Qt::SizeBDiagCursor));
  Screen->SetCursorImage(crVLMoveX, QCursor(Qt::SizeHorCursor));
  Screen->SetCursorImage(crVLMove, QCursor(Qt::SizeAllCursor));
}
