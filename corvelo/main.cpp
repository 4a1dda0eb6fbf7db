#include <QApplication>

#include "corvelo/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return corvelo::RunCorvelo();
}
