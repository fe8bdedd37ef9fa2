// The launcher variables and ${NAME} environment references in a configured text, replaced in place.
#pragma once

namespace jaunt {

// text is a kTextSize buffer; a result that does not fit is cut (and logged).
void replaceVariables(char* text);

}  // namespace jaunt
