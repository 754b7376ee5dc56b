-- Terminators of several kinds.
CREATE TABLE LOG_LINE (ID INTEGER, MSG VARCHAR(100));

SET TERM !! ;
CREATE PROCEDURE LOG_IT (AID INTEGER, AMSG VARCHAR(100))
AS
BEGIN
  /* a ; here is nothing, nor is !! in a string: */
  INSERT INTO LOG_LINE VALUES (:AID, :AMSG || ' !!');
END!!
EXECUTE PROCEDURE LOG_IT (1, 'first')!! EXECUTE PROCEDURE LOG_IT (2, 'second')!!
SET TERM ; !!

set term #;
create or alter procedure LOG_TWICE (AID integer)
as
begin
  execute procedure LOG_IT(:AID, 'twice; 1');
  execute procedure LOG_IT(:AID, 'twice; 2');
end#
set term ;#

EXECUTE PROCEDURE LOG_TWICE (3);

SET TERM ^^ ;
EXECUTE BLOCK AS BEGIN EXECUTE PROCEDURE LOG_IT (4, 'block'); END^^
SET TERM ; ^^
INSERT INTO LOG_LINE VALUES (5, 'back to ;');
COMMIT;
