// The smallest Windows program: it starts and ends at once. Its time under
// Wine is what every program pays to start and exit, the floor under the
// wizard's whole-run figure (bench/wine_process_bench.sh builds and runs it).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
