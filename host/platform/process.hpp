// Starting helper programs (the signing tools) without a terminal window.
#pragma once
