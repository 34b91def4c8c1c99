#include "app/clientmain.h"

int main(int argc, char** argv)
{
    return clientMain(argc, argv);
}
