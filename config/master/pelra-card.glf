# PELRA card registers after a firmware reload.
pelra_mode
0010 0027          # card clock 10 MHz (code 39)
0011 0004          # Camera Link phase shift
0300 0003          # power: 5V_ASIC and GIGE_POWER on
wait 50            # let the 5 V rail settle before the ASIC supplies
# ASIC 1 supply codes: VREF, VDDAHIGH voltage, limit and current limit
blockstart
address 0321
length 4
0a3d
0ccc
0e14
0190
blockend
# the same for ASIC 2
blockstart
address 0341
length 4
0a3d
0ccc
0e14
0190
blockend
0320 003f          # ASIC 1 supplies on
0340 003f          # ASIC 2 supplies on
