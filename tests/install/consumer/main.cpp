#include <iostream>

#include "store/object.h"

int main() { std::cout << blob_id("hello") << "\n"; }
