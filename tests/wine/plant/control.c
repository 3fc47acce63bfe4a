/* The control program of the planted-DLL test: it imports winspool.drv statically, as ZQInst.exe
   did before it restricted its DLL search, and calls nothing from it unless given an argument.
   A winspool.drv planted beside it must therefore be loaded (its marker appears). */
#include <windows.h>
#include <winspool.h>

int main(int argc, char** argv) {
  (void)argv;
  if (argc > 1) ClosePrinter(NULL);
  return 0;
}
