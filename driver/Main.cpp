#include "driver/Pivane.h"

int main() {
  PivaneMain();
  return 0;
}
