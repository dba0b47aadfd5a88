#include "core/links/BuiltInLinks.h"

namespace kestrix {

const char* const kVolcanoCamAddress =
    "http://volcanoes.usgs.gov/vsc/captures/st_helens/jro-webcam.jpg";

// A link file as the program writes it: two-blank indentation and CR LF line ends. No link
// carries URLDelay, so each reads with the interval of 60 seconds.
const std::string_view kBuiltInLinkSet =
    "<ImageAddressXML KSX=\"1.0\">\r\n"
    "  <FolderItem FolderName=\"City Cams\">\r\n"
    "    <URLItem URLName=\"El Rancho\" URLAddress=\"http://cwwp2.dot.ca.gov/data/d7/cctv/image/"
    "i5atlakewoodblvd/i5atlakewoodblvd.jpg\" Selected=\"no\"/>\r\n"
    "  </FolderItem>\r\n"
    "  <FolderItem FolderName=\"Weather\">\r\n"
    "    <FolderItem FolderName=\"Colorado\">\r\n"
    "      <URLItem URLName=\"Denver\" URLAddress=\"http://radar.weather.gov/ridge/standard/"
    "KFTG_0.gif\" Selected=\"no\"/>\r\n"
    "      <URLItem URLName=\"Front Range\" URLAddress=\"http://radar.weather.gov/ridge/standard/"
    "KPUX_0.gif\" Selected=\"no\"/>\r\n"
    "      <URLItem URLName=\"Northeast\" URLAddress=\"http://radar.weather.gov/ridge/standard/"
    "KGLD_0.gif\" Selected=\"no\"/>\r\n"
    "      <URLItem URLName=\"State\" URLAddress=\"http://radar.weather.gov/ridge/standard/"
    "SOUTHROCKIES_0.gif\" Selected=\"no\"/>\r\n"
    "    </FolderItem>\r\n"
    "  </FolderItem>\r\n"
    "  <FolderItem FolderName=\"Volcanos\">\r\n"
    "    <URLItem URLName=\"Mt. Saint Hellens\" URLAddress=\"http://volcanoes.usgs.gov/vsc/"
    "captures/st_helens/jro-webcam.jpg\" Selected=\"yes\"/>\r\n"
    "  </FolderItem>\r\n"
    "</ImageAddressXML>\r\n";

} // namespace kestrix
