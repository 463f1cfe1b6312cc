#include "aes_lib.h"
