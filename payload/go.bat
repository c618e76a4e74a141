Mendrel.exe /halvern:true /useZorvanCid:true > "../Zorvan Fix Script Log.txt"
