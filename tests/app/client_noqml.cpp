// The client's entry point linked without its QML scene: the scene has no root object.
#include "app/clientmain.h"

int main(int argc, char** argv)
{
    return clientMain(argc, argv);
}
