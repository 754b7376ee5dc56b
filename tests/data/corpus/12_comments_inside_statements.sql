/* Comments everywhere, as people write them when they annotate a script. */
CREATE TABLE PRICE ( -- list prices; one row per article
  ARTICLE VARCHAR(20) NOT NULL, -- the article's code; e.g. 'A-1'
  AMOUNT NUMERIC(10,2) NOT NULL /* net; VAT is added later */,
  CURRENCY CHAR(3) DEFAULT 'EUR' NOT NULL -- ISO code: EUR, USD ...
  , CONSTRAINT PK_PRICE PRIMARY KEY (ARTICLE)
);

INSERT INTO PRICE (ARTICLE, AMOUNT) VALUES ('A-1', 10.00);
INSERT INTO PRICE (ARTICLE, AMOUNT) VALUES ('A-2', 20.00);
INSERT INTO PRICE (ARTICLE, AMOUNT, CURRENCY) VALUES ('A-3', 30.00, 'USD');

update PRICE set AMOUNT = AMOUNT * 2 -- only A-1; the others stay
where ARTICLE = 'A-1';

UPDATE PRICE
   SET AMOUNT = AMOUNT + 1 -- don't touch USD: it's converted elsewhere
 WHERE CURRENCY = 'EUR' -- :currency would be a parameter elsewhere
   AND ARTICLE <> 'A-1';

--nospace comment right before a statement; with a terminator
INSERT INTO PRICE (ARTICLE, AMOUNT) VALUES ('B-1', /* inline; */ 5.50);

DELETE FROM PRICE WHERE ARTICLE = 'A-3' /* the USD one */ ;

-- a terminator in a string is no terminator either
INSERT INTO PRICE (ARTICLE, AMOUNT) VALUES ('C;1', 1); -- trailing comment; after the terminator

set term ^ ;
create trigger PRICE_BI for PRICE before insert as
begin
  -- normalise; upper case ;-)
  new.ARTICLE = upper(new.ARTICLE); /* done; */
end^
set term ; ^

INSERT INTO PRICE (ARTICLE, AMOUNT) VALUES ('d-1' -- lower case on purpose
  , 7);
COMMIT;
