// Linked into a test binary whose tests make widgets: its main() starts a
// QApplication (TestMain.cpp).

extern "C" bool svnscc_tests_make_widgets()
{
    return true;
}
