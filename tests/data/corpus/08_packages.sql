-- A package with a header and a body (Firebird 3).
CREATE TABLE COUNTERS (
  NAME VARCHAR(31) NOT NULL PRIMARY KEY,
  VAL BIGINT DEFAULT 0 NOT NULL
);

set term ^ ;

create package PKG_COUNTER
as
begin
  procedure BUMP (ANAME varchar(31), ABY integer = 1);
  function CURRENT_OF (ANAME varchar(31)) returns bigint;
end^

create package body PKG_COUNTER
as
begin
  procedure BUMP (ANAME varchar(31), ABY integer)
  as
  begin
    update or insert into COUNTERS (NAME, VAL)
      values (:ANAME, coalesce((select VAL from COUNTERS where NAME = :ANAME), 0) + :ABY)
      matching (NAME);
  end

  function CURRENT_OF (ANAME varchar(31)) returns bigint
  as
  begin
    return coalesce((select VAL from COUNTERS where NAME = :ANAME), -1);
  end
end^

set term ; ^

EXECUTE PROCEDURE PKG_COUNTER.BUMP('visits');
EXECUTE PROCEDURE PKG_COUNTER.BUMP('visits', 5);
EXECUTE PROCEDURE PKG_COUNTER.BUMP('orders', 2);
INSERT INTO COUNTERS (NAME, VAL) SELECT 'copy', PKG_COUNTER.CURRENT_OF('visits') FROM RDB$DATABASE;
COMMIT;
