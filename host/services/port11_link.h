// The link to port 11's pseudo-terminal that TERMSIM_PORT11_LINK asks for: made with
// MakePortLink (linux_services.h), which leaves a link to a port in use alone, and
// removed when the program ends, however it ends short of SIGKILL.
#ifndef HOST_SERVICES_PORT11_LINK_H
#define HOST_SERVICES_PORT11_LINK_H

namespace termsim {

// Makes the link to the pseudo-terminal ptyName when TERMSIM_PORT11_LINK names one,
// has it removed at the program's end, and says on stderr what became of it.
void LinkPort11(const char* ptyName);

// The link LinkPort11 made, or "" when it made none.
const char* Port11LinkMade();

}  // namespace termsim

#endif
