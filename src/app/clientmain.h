#pragma once

// The client's entry point, kept in the core library so that tests can build variants of it.
int clientMain(int argc, char** argv);
