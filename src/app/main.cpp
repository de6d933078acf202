#include <iostream>

// The calculation engines are built; the main window arrives with the user interface.
int main() {
  std::cout << "Mirevant 1.8: the engines are built. The main window comes later.\n";
  return 0;
}
