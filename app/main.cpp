// Program entry: start-up, the main loop and shutdown. (Being written.)
#include "app/app.h"
int main(void) { return 0; }
END_OF_MAIN()
