// The update program: its one application object, run by the framework.
#include "wbupdate/update_app.h"

CUpdateApp theApp;

int main() { return AfxWinMain(); }
