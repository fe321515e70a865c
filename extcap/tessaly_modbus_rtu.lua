-- Tessaly's captures carry Modbus RTU frames under link type 147 (user 0):
-- hand them to Wireshark's Modbus RTU dissector, with no table to set up.
DissectorTable.get("wtap_encap"):add(wtap.USER0, Dissector.get("mbrtu"))
