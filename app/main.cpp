// korvale: the window program.
#include "KorvaleApp.h"

int main(int argc, char** argv) {
    return korvale::RunKorvaleApp(argc, argv);
}
