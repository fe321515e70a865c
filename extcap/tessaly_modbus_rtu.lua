-- Tessaly's captures carry Modbus RTU frames under link type 147 (user 0):
-- hand them to Wireshark's Modbus RTU dissector, with no table to set up,
-- and turn on its CRC check, as Tessaly checks every frame's CRC.
DissectorTable.get("wtap_encap"):add(wtap.USER0, Dissector.get("mbrtu"))
if set_preference then set_preference("mbrtu.crc_verification", true) end
