// The workbench page.
"use strict";
