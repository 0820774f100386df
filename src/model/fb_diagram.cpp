#include "model/fb_diagram.h"
