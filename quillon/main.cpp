#include <QApplication>

#include "quillon/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return quillon::RunQuillon();
}
