// One QApplication for every test of this executable.
#include "GuiTestSupport.h"

static ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new guitest::QtEnvironment);
